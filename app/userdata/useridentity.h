// Who this user is to the directory and pal servers: the user ID the pal server assigned (-1
// until it has), kept in a small file of its own beside the settings ("userid") so that it
// survives restarts, and the login both servers receive, built from the personal settings, the
// devices found at start-up and the base port that callers reach (the router's outside port
// when it forwards other ports than the program's own).
#pragma once

#include "protocol/directory.h"

#include <QString>

class UserMessages;
struct Settings;

class UserIdentity
{
public:
    static constexpr qint32 NoId = -1;
    inline static const QString FileName = QStringLiteral("userid");

    UserIdentity(Settings &settings, UserMessages &messages, const QString &folder);

    qint32 userId() const { return m_userId; }
    // Reads the ID; a missing file leaves -1, a damaged one is reported and set aside.
    void load();
    // Keeps a new ID, and writes it at once (atomically).
    void setUserId(qint32 id);

    void setDevices(bool video, bool audio);
    void setBasePort(quint16 port) { m_basePort = port; }

    // The login for the directory (DirectoryLogin) or the pal server (PalLogin); the e-mail
    // setting is made lower case first, as every login does.
    Directory::Login login(int kind);

    QString path() const;

private:
    Settings &m_settings;
    UserMessages &m_messages;
    QString m_folder;
    qint32 m_userId = NoId;
    bool m_video = false, m_audio = false;
    quint16 m_basePort = 2000;
};
