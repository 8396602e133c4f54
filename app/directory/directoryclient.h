// The client of the directory server: the long-lived directory connection ("<ET>" lines), the
// login, the user list (at most 500 users), the server's notices, redirections and other
// servers, and the e-mail lookup that a call to an e-mail address starts with. An answer to a
// lookup this program did not send is dropped. A connection that drops, or an attempt that fails,
// is tried again after a pause that doubles from 1 s up to 60 s, while the directory is wanted
// (its window is open); the list it showed is marked out of date meanwhile.
#pragma once

#include "platform/endpointerror.h"
#include "protocol/directory.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class LineClient;
class Transports;
class UserIdentity;
class UserMessages;
struct Settings;

class DirectoryClient : public QObject
{
    Q_OBJECT
public:
    static constexpr int FirstRetryMs = 1000, LastRetryMs = 60000;

    struct Deps {
        Settings &settings;
        UserIdentity &identity;
        UserMessages &messages;
        Transports &transports;
    };
    explicit DirectoryClient(const Deps &deps, QObject *parent = nullptr);
    ~DirectoryClient() override;

    void start();
    void shutDown();

    // (Re)opens the directory connection; a host of blanks does nothing at all.
    void connectDirectory(const QString &host, qint16 port);
    void sendDirectoryLogin();
    void disconnect();
    bool connected() const;
    // Whether to reconnect when the connection is lost.
    void setWanted(bool wanted);
    // The list is from a connection that has since been lost.
    bool listStale() const { return m_stale; }

    void requestList();
    void requestIntro();
    // Asks for the user with this e-mail address.
    void lookUpEmail(const QString &address);

    // The last user list; users are numbered from 1.
    const QList<Directory::User> &users() const { return m_users; }
    const Directory::User *user(int index) const;
    // The directory window's status bar: the connection's state, the two counts.
    QString status() const { return m_status; }
    QString onlineText() const { return m_online; }
    QString listedText() const { return m_listed; }
    void setStatus(const QString &text);
    // The server choices the last "VCL" offered, as the choice box lists them.
    QStringList serverChoices() const { return m_choices; }

signals:
    void statusChanged(const QString &text);
    void usersChanged();
    void serverChoicesChanged(const QStringList &choices);
    // The server offers another one ("host:port") with its explanation.
    void redirectOffered(const QString &address, const QString &description);
    // The answer to an e-mail lookup.
    void emailFound(const QString &name, const QString &location, const QString &address,
                    qint16 port);
    void emailNotFound();
    // An answer to a lookup nobody sent (or that was answered already): dropped.
    void unaskedAnswer(const QString &email);
    // Every attempt to reach the directory also opens the pal connection.
    void palConnectionWanted();

private:
    void onConnected(int status, const QString &description);
    void invalidAddress(const QString &host, int port, const EndpointError &error);
    void onLine(const QByteArray &line);
    void showUsers(const Directory::UserList &list);
    void lost();
    void closeOnPurpose();
    void retryLater();

    Deps m_deps;
    std::unique_ptr<LineClient> m_server; // the directory server, "<ET>"
    QList<Directory::User> m_users;
    QString m_status, m_online, m_listed;
    QStringList m_choices;
    QString m_lookup; // the address asked for, until its answer
    QString m_host;   // the server to reconnect to; empty: none
    qint16 m_port = 0;
    bool m_wanted = false, m_stale = false, m_closing = false;
    int m_retryMs = FirstRetryMs;
    QTimer m_retry;
};
