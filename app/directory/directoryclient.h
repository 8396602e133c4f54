// The client of the directory server: the long-lived directory connection ("<ET>" lines), the
// login, the user list (at most 500 users), the server's notices, redirections and other
// servers, and the e-mail lookup that a call to an e-mail address starts with.
#pragma once

#include "platform/endpointerror.h"
#include "protocol/directory.h"

#include <QObject>
#include <QString>
#include <QStringList>

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
    // Every attempt to reach the directory also opens the pal connection.
    void palConnectionWanted();

private:
    void onConnected(int status, const QString &description);
    void invalidAddress(const QString &host, int port, const EndpointError &error);
    void onLine(const QByteArray &line);
    void showUsers(const Directory::UserList &list);

    Deps m_deps;
    std::unique_ptr<LineClient> m_server; // the directory server, "<ET>"
    QList<Directory::User> m_users;
    QString m_status, m_online, m_listed;
    QStringList m_choices;
};
