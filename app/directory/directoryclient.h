// The client of the directory server: the long-lived directory connection (lines ended by
// "<ET>"), and the e-mail lookup that a call to an e-mail address starts with.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class LineClient;
class Transports;

class DirectoryClient : public QObject
{
    Q_OBJECT
public:
    explicit DirectoryClient(Transports &transports, QObject *parent = nullptr);
    ~DirectoryClient() override;

    void start();
    void shutDown();

    // Opens the directory connection to host:port.
    void connectTo(const QString &host, quint16 port);
    void disconnect();
    bool connected() const;

    // Asks for the user with this e-mail address.
    void lookUpEmail(const QString &address);

private:
    std::unique_ptr<LineClient> m_server; // ippServer: the directory server, "<ET>"
};
