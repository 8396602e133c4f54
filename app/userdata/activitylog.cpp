// The activity log.
#include "activitylog.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>

QString ActivityLog::stamp(const QDateTime &when)
{
    const QLocale locale = QLocale::system();
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    // Long time formats may carry a time zone ("t"); the log line never did.
    timeFormat.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*$")));
    timeFormat.remove(QRegularExpression(QStringLiteral("^\\s*t+\\s*")));
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), timeFormat);
}

void ActivityLog::addLogEntry(const QString &text)
{
    addAt(QDateTime::currentDateTime(), text);
}

void ActivityLog::addAt(const QDateTime &when, const QString &text)
{
    const QString line = stamp(when) + QStringLiteral(": ") + text;
    m_entries.append(line);
    if (trim()) {
        rewriteFile();
        emit reset();
    } else {
        appendToFile(line);
        emit entryAdded(line);
    }
}

void ActivityLog::clear()
{
    m_entries.clear();
    rewriteFile();
    emit reset();
}

void ActivityLog::appendToFile(const QString &line)
{
    if (m_path.isEmpty()) return;
    // One write of the whole line: a kill leaves the entry in the file or not at all. A failure
    // here is reported by the save at shutdown.
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        file.write(line.toUtf8() + "\r\n");
}

void ActivityLog::rewriteFile()
{
    if (!m_path.isEmpty()) TextFile::writeLines(m_path, m_entries);
}

bool ActivityLog::trim()
{
    if (m_entries.size() <= MaxEntries) return false;
    const qsizetype older = m_entries.size() - TrimmedEntries;
    // The older file is written first: a kill in between leaves those lines in both files rather
    // than in neither.
    keepOlder(m_entries.first(older));
    m_entries.remove(0, older);
    return true;
}

void ActivityLog::keepOlder(const QStringList &lines) const
{
    if (m_path.isEmpty()) return;
    const QString path = m_path + OlderSuffix;
    QStringList kept;
    TextFile::readLines(path, &kept);
    kept.append(lines);
    if (kept.size() > MaxEntries) kept.remove(0, kept.size() - MaxEntries);
    TextFile::writeLines(path, kept);
}

bool ActivityLog::loadActivityLog(const QString &path)
{
    m_path = path;
    const bool earlier = !m_entries.isEmpty();
    QStringList lines;
    const bool read = TextFile::readLines(path, &lines);
    m_entries.append(lines);
    // The file is made whole again when it would not take the next entry on a line of its own
    // (a last line without its line end), and when it lacks entries kept here.
    QFile file(path);
    const bool lineEnded = !file.open(QIODevice::ReadOnly) || file.size() == 0 ||
                           (file.seek(file.size() - 1) && file.read(1) == "\n");
    if (trim() || earlier || !lineEnded) rewriteFile();
    if (read) emit reset();
    return read;
}

FileError ActivityLog::saveActivityLog(const QString &path) const
{
    return TextFile::writeLines(path, m_entries);
}
