// Who is online: the users logged in on the directory (listed or not) and on the pal server, in
// memory only. It answers the user list and the e-mail lookups; the connection that logged a user
// in owns its entry.
#pragma once

#include "protocol/directory.h"

#include <QByteArray>
#include <QHash>

struct OnlineUser {
    enum Side { DirectorySide, PalSide };
    Side side = DirectorySide;
    Directory::User entry; // as listed: the fields are clean and cut
    QString email;         // lower case; empty: cannot be looked up
    bool listed = false;
    QString revision;
    bool here = true;       // logged in on this server, not on another sharing its database
    quint64 connection = 0; // here: the serial of the connection that logged in
    bool online() const { return present; } // added and not removed since

private:
    friend class Presence;
    bool present = false;
    OnlineUser *prev = nullptr, *next = nullptr; // the listed users in login order
    quint64 serial = 0;                          // the order of logins
    QByteArray record;                           // a listed user's ten fields on the wire
};

class Presence
{
public:
    // The longest texts kept, in characters.
    static constexpr int NameLength = 64, LocationLength = 64, CommentLength = 128,
                         EmailLength = 128;

    // An entry for this login from this IPv4 address, its texts cleaned (';' and control
    // characters become blanks) and cut.
    static OnlineUser fromLogin(const Directory::Login &login, OnlineUser::Side side,
                                const QString &address);
    // A text as stored and echoed: cut to `length` characters, no ';', no control characters.
    static QString clean(const QString &text, int length);
    // An e-mail address as stored, looked up and claimed: clean and in lower case.
    static QString emailKey(const QString &email);

    // The user is online until removed; `user` must outlive that. Removing a user who is not
    // online does nothing.
    void add(OnlineUser *user);
    void remove(OnlineUser *user);
    // Takes offline everyone with this e-mail address (as emailKey gives it) whose ID is not
    // `owner`; who they were.
    QList<OnlineUser *> removeAllBut(const QString &email, qint32 owner);

    // Users online, here and on the other servers sharing the database.
    int directoryUsers() const { return m_directoryUsers; }
    int palUsers() const { return m_palUsers; }
    // Those logged in on this server.
    int directoryUsersHere() const { return m_directoryHere; }
    int palUsersHere() const { return m_palHere; }
    int listedUsers() const { return m_listed; }

    // "LS1": the directory's users online, the number listed and the first MaxUsers listed
    // users in login order, ready to send (built again only after a change).
    const QByteArray &userList();
    // "GER" for this e-mail address: the latest login with it on either side.
    QByteArray lookup(const QString &email) const;

private:
    QMultiHash<QString, OnlineUser *> m_byEmail;
    OnlineUser *m_first = nullptr, *m_last = nullptr; // listed users in login order
    int m_directoryUsers = 0, m_palUsers = 0, m_listed = 0;
    int m_directoryHere = 0, m_palHere = 0;
    quint64 m_serial = 0;
    QByteArray m_list;           // empty: to be built
    qsizetype m_recordBytes = 0; // the last list's size, to reserve the next
};
