// The text connection of a call: the listener on base port + 3 and the client that the calling
// side opens to the peer's. Lines that arrive go to the chat conversation; what the conversation
// sends goes out on whichever of the two connections is up.
#pragma once

#include "platform/endpointerror.h"

#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>

#include <functional>
#include <memory>
#include <optional>

class CallSession;
class ChatConversation;
class LineClient;
class LineListener;
class Transports;

class ChatLink : public QObject
{
    Q_OBJECT
public:
    static constexpr int TextPortOffset = 3;

    ChatLink(CallSession &session, ChatConversation &conversation, Transports &transports,
             QObject *parent = nullptr);
    ~ChatLink() override;

    // Starts listening on base port + 3; the error is for the "Listen Daemon 4" message.
    EndpointError start(quint16 basePort);
    // Program end: closes both connections and stops listening.
    void shutDown();

    // Opens the text connection to the peer whose control port is `controlPort`.
    void connectText(const QString &host, quint16 controlPort);
    void closeClient();
    void closeServed(int connectionId);
    // Whether a text connection of a call is open.
    bool connected() const;
    quint16 listeningPort() const;
    // The text connection from now on: over TLS with these settings, or in the clear; `peerCheck`
    // is asked about the peer's certificate of each text connection, which is closed when it
    // says no.
    void setEncryption(const std::optional<QSslConfiguration> &tls);
    void setPeerCheck(std::function<bool(const QSslCertificate &)> check)
    {
        m_peerCheck = std::move(check);
    }

private:
    void send(const QByteArray &line);

    CallSession &m_session;
    std::unique_ptr<LineListener> m_listener; // base port + 3, "<E>" per connection
    std::unique_ptr<LineClient> m_client;     // peer's base port + 3, "<E>"
    std::function<bool(const QSslCertificate &)> m_peerCheck;
};
