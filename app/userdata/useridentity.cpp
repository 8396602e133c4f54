// The user's ID and logins.
#include "useridentity.h"

#include "platform/textfile.h"
#include "platform/usermessages.h"
#include "settings.h"
#include "version.h"

#include <QDir>
#include <QFile>

UserIdentity::UserIdentity(Settings &settings, UserMessages &messages, const QString &folder)
    : m_settings(settings), m_messages(messages), m_folder(folder)
{
}

QString UserIdentity::path() const
{
    return QDir(m_folder).filePath(FileName);
}

void UserIdentity::load()
{
    QStringList lines;
    if (!TextFile::readLines(path(), &lines)) return;
    bool ok = false;
    const qint32 id = lines.value(0).trimmed().toInt(&ok);
    if (ok && lines.size() == 1) {
        m_userId = id;
        return;
    }
    // Set aside rather than lost: the pal server hands out a new ID.
    const QString aside = path() + QStringLiteral(".damaged");
    QFile::remove(aside);
    QFile::rename(path(), aside);
    m_messages.showErrorMessage(QStringLiteral("The saved user ID in %1 could not be read; it was "
                                               "set aside as %2 and a new one will be asked for.")
                                    .arg(path(), aside));
}

void UserIdentity::setUserId(qint32 id)
{
    m_userId = id;
    QDir().mkpath(m_folder);
    if (const FileError e = TextFile::writeLines(path(), {QString::number(id)}))
        m_messages.showErrorMessage(e.message(QStringLiteral("Could not save the user ID, ")));
}

void UserIdentity::setDevices(bool video, bool audio)
{
    m_video = video;
    m_audio = audio;
}

Directory::Login UserIdentity::login(int kind)
{
    Settings &s = m_settings;
    s.EMail = s.EMail.toLower();
    Directory::Login l;
    l.id = m_userId;
    l.name = s.Name;
    l.email = s.EMail;
    l.location = s.Location;
    l.comment = s.Comment;
    l.kind = kind;
    const bool directory = kind == Directory::DirectoryLogin;
    l.video = directory && m_video;
    l.audio = directory && m_audio;
    l.listed = directory && s.ShowOnList;
    l.version = ProgramVersion;
    l.basePort = qint16(m_basePort);
    return l;
}
