// Presence shared by the servers that use one PostgreSQL database: a user logged in on one
// server is listed and found by all of them.
//
// Each server keeps its own logged-in users as rows of the table online_users and announces
// every change with NOTIFY on the channel "ovela_presence"; each LISTENs and keeps the others'
// users in its own lists, so a list or a look-up never waits for the database. Each server
// marks itself alive in directory_servers every fifth of the time-out; one not seen for the
// time-out is taken out of the table, its users with it, by whichever server notices first, and
// every server drops them. A server whose database connection breaks reconnects, tells its users
// again and reads everyone else's afresh.
//
// The database work runs on a thread of its own; the handlers run on the server's thread.
#pragma once

#include "databasethread.h"
#include "idstore.h"
#include "presence.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <utility>

class SharedPresence
{
public:
    struct Handlers {
        // Another server's user came online (or changed: the key is the same).
        std::function<void(const QString &key, const OnlineUser &user)> appeared;
        std::function<void(const QString &key)> left;
        // A server stopped or was found dead: its users left.
        std::function<void(const QString &server)> serverGone;
        // Everyone online on the other servers, read afresh: replaces what came before.
        std::function<void(const QList<std::pair<QString, OnlineUser>> &users)> replaced;
    };

    SharedPresence(Handlers handlers, int timeoutSeconds);
    ~SharedPresence(); // this server's users leave the others' lists
    SharedPresence(const SharedPresence &) = delete;
    SharedPresence &operator=(const SharedPresence &) = delete;

    // Connects, makes the tables when missing, announces this server and reads who is online
    // on the others (handed to `replaced` soon after).
    bool start(const DatabaseTarget &target, QString *error);
    // The server's name in the table and the log: host, process and a random part.
    QString name() const { return m_name; }

    // This server's user on the connection with this serial came online or changed; left.
    void publish(quint64 connection, const OnlineUser &user);
    void withdraw(quint64 connection);

    // A user as a row's record, and back (cleaned like a login; nothing when it is no user).
    static QByteArray recordOf(const OnlineUser &user);
    static std::optional<OnlineUser> userOf(const QByteArray &record);

private:
    class Link; // lives on the thread
    Handlers m_handlers;
    QString m_name;
    DatabaseThread m_thread;
    std::unique_ptr<Link> m_link;
};
