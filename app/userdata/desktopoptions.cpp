// The desktop options file.
#include "desktopoptions.h"

#include "platform/textfile.h"

#include <QDir>

namespace
{
struct Key {
    const char *name;
    bool DesktopOptions::*value;
};
const Key Keys[] = {{"PalOnlineNotices", &DesktopOptions::palOnlineNotices},
                    {"KeepRunningInTray", &DesktopOptions::keepRunningInTray},
                    {"TrayNoticeShown", &DesktopOptions::trayNoticeShown}};
const QString TalkKeyName = QStringLiteral("TalkKey");
} // namespace

DesktopOptions::DesktopOptions(const QString &folder) : m_folder(folder) {}

QString DesktopOptions::path() const
{
    return QDir(m_folder).filePath(FileName);
}

void DesktopOptions::load()
{
    QStringList lines;
    if (!TextFile::readLines(path(), &lines)) return;
    for (const QString &line : lines) {
        const QString key = line.section(QLatin1Char('='), 0, 0).trimmed();
        const QString value = line.section(QLatin1Char('='), 1).trimmed();
        if (key == TalkKeyName) talkKey = value;
        for (const Key &k : Keys)
            if (key == QLatin1String(k.name) && (value == "0" || value == "1"))
                this->*k.value = value == "1";
    }
}

QString DesktopOptions::save() const
{
    QStringList lines;
    for (const Key &k : Keys)
        lines << QLatin1String(k.name) + QLatin1Char('=') + (this->*k.value ? "1" : "0");
    lines << TalkKeyName + QLatin1Char('=') + talkKey;
    QDir().mkpath(m_folder);
    if (const FileError e = TextFile::writeLines(path(), lines))
        return e.message(QStringLiteral("Could not save the desktop options, "));
    return {};
}
