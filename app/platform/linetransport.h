// The line transports the program's conversations talk through: a client (one outgoing
// connection) and a listener (many accepted connections, each known by a number), with the
// properties and events of the TCP components the program was designed around. TcpLineClient and
// TcpLineListener implement them on TCP; MemoryNetwork implements them in memory, so that both
// sides of a conversation can run in one test without a port.
#pragma once

#include "endpointerror.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>

#include <memory>
#include <optional>

// What the TCP endpoints take from a connection's socket at a time: without a bound, a peer that
// sends faster than the program reads would have the socket hold all the system lets it queue (a
// few megabytes on loopback) on top of the line being assembled.
constexpr qint64 SocketReadBuffer = 64 * 1024;

class LineClient : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Writing resolves a name or a dotted address; the error says why it could not.
    virtual QString remoteHost() const = 0;
    virtual EndpointError setRemoteHost(const QString &host) = 0;
    virtual quint16 remotePort() const = 0;
    virtual void setRemotePort(quint16 port) = 0;
    // This machine's address (while connected: the address the connection left from).
    virtual QString localHost() const = 0;

    // true starts an asynchronous connect reported by connectFinished; false closes, and a
    // connection that was up reports disconnected.
    virtual bool connected() const = 0;
    virtual bool connecting() const = 0;
    virtual EndpointError setConnected(bool on) = 0;

    // Never queues without bound: while too much waits to go out, nothing is taken and
    // bytesSent() reads 0.
    virtual EndpointError dataToSend(const QByteArray &bytes) = 0;
    virtual qint64 bytesSent() const = 0;
    // What a new send would wait behind: the endpoint's own buffer, what the system has not sent
    // yet and what waits in a queue on the way (SocketQueue::queuedBytes).
    virtual qint64 bytesWaiting() const = 0;
    // With a terminator, dataIn delivers one line without it; without one, whatever arrived.
    virtual void setEol(const QByteArray &eol) = 0;
    // The option flag raised when the endpoint is first used; lowering it closes the connection.
    virtual void setActive(bool on) = 0;
    // Unsent bytes above which a send takes nothing.
    virtual void setSendCap(qint64 bytes) = 0;
    // A connect that has had no reply for this long is given up and reported by connectFinished
    // with TimedOut; 0 leaves it to the system. (A connect in memory never waits.)
    virtual void setConnectTimeout(int ms) { (void)ms; }
    // From the next connect on, the connection runs over TLS with these settings (nullopt: in
    // the clear); connectFinished then reports it once the handshake is through, and a failed
    // handshake as a failed connect.
    virtual void setEncryption(const std::optional<QSslConfiguration> &tls) { (void)tls; }
    // The certificate the peer showed in the handshake (null in the clear).
    virtual QSslCertificate peerCertificate() const { return QSslCertificate(); }

signals:
    void connectFinished(int statusCode, const QString &description);
    void disconnected(int statusCode, const QString &description);
    void dataIn(const QByteArray &text, bool eol);
    void readyToSend();
    void errorOccurred(int errorCode, const QString &description);
};

class LineListener : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual quint16 localPort() const = 0;
    virtual void setLocalPort(quint16 port) = 0;
    virtual bool listening() const = 0;
    virtual EndpointError setListening(bool on) = 0;

    virtual bool connected(int id) const = 0;
    // Only false (close) does anything; the close is reported by disconnected.
    virtual EndpointError setConnected(int id, bool on) = 0;
    virtual QString remoteHost(int id) const = 0;
    virtual EndpointError dataToSend(int id, const QByteArray &bytes) = 0;
    virtual qint64 bytesSent(int id) const = 0;
    virtual qint64 bytesWaiting(int id) const = 0;
    virtual void setEol(int id, const QByteArray &eol) = 0;
    virtual void setBufferSizes(int id, int inBuffer, int outBuffer) = 0;
    virtual QList<int> connectionIds() const = 0;
    virtual int connectionCount() const = 0;
    // Milliseconds since connection id was accepted (-1 when there is no such connection).
    virtual qint64 connectionAge(int id) const = 0;
    // The option flag raised when the endpoint is first used; lowering it closes everything.
    virtual void setActive(bool on) = 0;
    // Closes connections that have received nothing for this long (0: never).
    virtual void setIdleTimeout(int ms) = 0;
    virtual void setSendCap(qint64 bytes) = 0;
    // Connections accepted from now on run over TLS with these settings (nullopt: in the
    // clear); connectionAccepted reports one once its handshake is through, and a failed
    // handshake with an error status.
    virtual void setEncryption(const std::optional<QSslConfiguration> &tls) { (void)tls; }
    virtual QSslCertificate peerCertificate(int id) const
    {
        (void)id;
        return QSslCertificate();
    }

signals:
    void connectionRequest(bool *accept);
    void connectionAccepted(int connectionId, int statusCode, const QString &description);
    void dataIn(int connectionId, const QByteArray &text, bool eol);
    void disconnected(int connectionId, int statusCode, const QString &description);
    void readyToSend(int connectionId);
    void errorOccurred(int errorCode, const QString &description);
};

// Where conversations get their endpoints from.
class Transports
{
public:
    virtual ~Transports() = default;
    virtual std::unique_ptr<LineClient> client() = 0;
    virtual std::unique_ptr<LineListener> listener() = 0;
    // Whether the endpoints can run over TLS.
    virtual bool canEncrypt() const { return false; }
};

// Endpoints on TCP.
class TcpTransports : public Transports
{
public:
    std::unique_ptr<LineClient> client() override;
    std::unique_ptr<LineListener> listener() override;
    bool canEncrypt() const override;
};
