// The listening endpoint on QTcpServer.
#include "tcplinelistener.h"

#include "netaddress.h"
#include "socketqueue.h"
#include "sockets.h"

#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace
{
constexpr int MaxConnectionId = 65535;

// Takes connections as TLS sockets while the listener is set to encrypt.
class Server : public QTcpServer
{
public:
    Server(const std::optional<QSslConfiguration> &tls, QObject *parent)
        : QTcpServer(parent), m_tls(tls)
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        if (!m_tls) {
            QTcpServer::incomingConnection(descriptor);
            return;
        }
        auto *socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setSslConfiguration(*m_tls);
        addPendingConnection(socket);
    }

private:
    const std::optional<QSslConfiguration> &m_tls;
};
} // namespace

TcpLineListener::TcpLineListener(QObject *parent) : LineListener(parent) {}

TcpLineListener::~TcpLineListener()
{
    for (auto &[id, conn] : m_conns) {
        if (conn.socket) {
            conn.socket->disconnect(this);
            conn.socket->abort();
            delete conn.socket;
        }
    }
}

bool TcpLineListener::listening() const
{
    return m_server && m_server->isListening();
}

EndpointError TcpLineListener::setListening(bool on)
{
    if (!on) {
        if (m_server) m_server->close();
        return {};
    }
    m_active = true;
    if (!m_server) {
        m_server = new Server(m_tls, this);
        connect(m_server, &QTcpServer::newConnection, this, &TcpLineListener::onNewConnection);
        // A failed accept (out of file descriptors, say) makes QTcpServer stop accepting for good;
        // once the load has passed the listener must answer again.
        connect(m_server, &QTcpServer::acceptError, this, [this](auto code) {
            const EndpointError e = socketError(code, m_server->errorString());
            emit errorOccurred(e.number, e.description);
            QTimer::singleShot(AcceptRetryMs, m_server, [server = m_server] {
                if (server->isListening()) server->resumeAccepting();
            });
        });
    }
    if (m_server->isListening()) m_server->close();
    if (m_server->listen(QHostAddress::AnyIPv4, m_localPort)) return {};
    if (m_server->serverError() == QAbstractSocket::AddressInUseError)
        return {EndpointErrors::AddressInUse, QStringLiteral("Address already in use")};
    return socketError(m_server->serverError(), m_server->errorString());
}

TcpLineListener::Conn *TcpLineListener::find(int id)
{
    auto it = m_conns.find(id);
    return it == m_conns.end() ? nullptr : &it->second;
}

const TcpLineListener::Conn *TcpLineListener::find(int id) const
{
    auto it = m_conns.find(id);
    return it == m_conns.end() ? nullptr : &it->second;
}

bool TcpLineListener::connected(int id) const
{
    const Conn *conn = find(id);
    return conn && conn->socket && !conn->handshaking &&
           conn->socket->state() == QAbstractSocket::ConnectedState;
}

EndpointError TcpLineListener::setConnected(int id, bool on)
{
    if (!on) closeAndReport(id, true, 0, QString());
    return {};
}

QString TcpLineListener::remoteHost(int id) const
{
    const Conn *conn = find(id);
    return conn ? conn->remote : QString();
}

EndpointError TcpLineListener::dataToSend(int id, const QByteArray &bytes)
{
    Conn *conn = find(id);
    if (!conn || !connected(id))
        return {EndpointErrors::NotConnected, QStringLiteral("Not connected")};
    conn->bytesSent = 0;
    if (SocketQueue::unsentBytes(conn->socket) > m_sendCap) {
        conn->blocked = true;
        return {EndpointErrors::WouldBlock, QStringLiteral("Send buffer full")};
    }
    // Writing may find the connection gone and report its end at once, which forgets it: the
    // connection is looked up again afterwards.
    const QPointer<QTcpSocket> socket = conn->socket;
    const qint64 written = socket->write(bytes);
    if (written < 0 || !socket) {
        if (!socket) return {EndpointErrors::NotConnected, QStringLiteral("Not connected")};
        return socketError(socket->error(), socket->errorString());
    }
    socket->flush();
    conn = find(id);
    if (!conn || conn->socket != socket)
        return {EndpointErrors::NotConnected, QStringLiteral("Not connected")};
    conn->bytesSent = written;
    return {};
}

qint64 TcpLineListener::bytesWaiting(int id) const
{
    const Conn *conn = find(id);
    if (!conn || !conn->socket) return 0;
    return SocketQueue::unsentBytes(conn->socket) +
           SocketQueue::queuedBytes(conn->socket->socketDescriptor());
}

QSslCertificate TcpLineListener::peerCertificate(int id) const
{
    const Conn *conn = find(id);
    const auto *tls = conn ? qobject_cast<const QSslSocket *>(conn->socket.data()) : nullptr;
    return tls && !conn->handshaking ? tls->peerCertificate() : QSslCertificate();
}

qint64 TcpLineListener::bytesSent(int id) const
{
    const Conn *conn = find(id);
    return conn ? conn->bytesSent : 0;
}

QByteArray TcpLineListener::eol(int id) const
{
    const Conn *conn = find(id);
    return conn ? conn->splitter.terminator() : QByteArray();
}

void TcpLineListener::setEol(int id, const QByteArray &eol)
{
    if (Conn *conn = find(id)) conn->splitter.setTerminator(eol);
}

void TcpLineListener::setBufferSizes(int id, int inBuffer, int outBuffer)
{
    Conn *conn = find(id);
    if (!conn || !conn->socket) return;
    conn->socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, inBuffer);
    conn->socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, outBuffer);
}

QList<int> TcpLineListener::connectionIds() const
{
    QList<int> ids;
    for (const auto &entry : m_conns) {
        if (!entry.second.closing) ids.append(entry.first);
    }
    return ids;
}

qint64 TcpLineListener::connectionAge(int id) const
{
    const Conn *conn = find(id);
    return conn ? conn->since.elapsed() : -1;
}

void TcpLineListener::setActive(bool on)
{
    m_active = on;
    if (on) return;
    setListening(false);
    const QList<int> ids = connectionIds();
    for (int id : ids)
        setConnected(id, false);
}

void TcpLineListener::setIdleTimeout(int ms)
{
    m_idleTimeoutMs = ms;
    if (ms <= 0) {
        delete m_idleTimer;
        m_idleTimer = nullptr;
        return;
    }
    if (!m_idleTimer) {
        m_idleTimer = new QTimer(this);
        connect(m_idleTimer, &QTimer::timeout, this, &TcpLineListener::sweepIdle);
    }
    m_idleTimer->start(std::max(100, std::min(ms / 4, 1000)));
}

void TcpLineListener::sweepIdle()
{
    QList<int> stale;
    for (const auto &[id, conn] : m_conns) {
        if (!conn.closing && conn.lastInput.elapsed() > m_idleTimeoutMs) stale.append(id);
    }
    for (int id : stale)
        setConnected(id, false);
}

int TcpLineListener::freeId() const
{
    int id = 1;
    for (const auto &entry : m_conns) {
        if (entry.first != id) break;
        ++id;
    }
    return id <= MaxConnectionId ? id : 0;
}

void TcpLineListener::onNewConnection()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket *socket = m_server->nextPendingConnection();
        bool accept = connectionCount() < m_maxConnections;
        if (accept) emit connectionRequest(&accept);
        const int id = accept ? freeId() : 0;
        if (id == 0) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        Conn &conn = m_conns[id];
        conn.socket = socket;
        conn.remote = NetAddress::text(socket->peerAddress());
        conn.since.start();
        conn.lastInput.start();
        socket->setParent(this);
        socket->setReadBufferSize(SocketReadBuffer);
        SocketQueue::limitUnsent(socket->socketDescriptor());
        SocketQueue::noticeLoss(socket->socketDescriptor());
        connect(socket, &QTcpSocket::readyRead, this,
                [this, id, socket] { onReadyRead(id, socket); });
        connect(socket, &QTcpSocket::bytesWritten, this,
                [this, id, socket] { onBytesWritten(id, socket); });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, id, socket] { onSocketGone(id, socket, 0, QString()); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, id, socket](auto code) {
            if (code == QAbstractSocket::RemoteHostClosedError)
                return; // the disconnected signal follows
            const EndpointError e = socketError(code, socket->errorString());
            onSocketGone(id, socket, e.number, e.description);
        });
        if (auto *tls = qobject_cast<QSslSocket *>(socket)) {
            conn.handshaking = true;
            connect(tls, &QSslSocket::encrypted, this,
                    [this, id, socket] { onEncrypted(id, socket); });
            connect(tls, &QSslSocket::encryptedBytesWritten, this,
                    [this, id, socket] { onBytesWritten(id, socket); });
            tls->startServerEncryption();
            // A peer that connects and never finishes the handshake does not hold the port.
            QTimer::singleShot(HandshakeMs, socket, [this, id, socket] {
                const Conn *c = find(id);
                if (c && c->socket == socket && c->handshaking)
                    closeAndReport(id, false, EndpointErrors::TimedOut,
                                   QStringLiteral("The encrypted connection was not set up in "
                                                  "time"));
            });
            continue;
        }
        emit connectionAccepted(id, 0, QString());
        if (find(id) && find(id)->socket == socket && socket->bytesAvailable() > 0)
            onReadyRead(id, socket);
    }
}

void TcpLineListener::onEncrypted(int id, QTcpSocket *socket)
{
    Conn *conn = find(id);
    if (!conn || conn->socket != socket) return;
    conn->handshaking = false;
    emit connectionAccepted(id, 0, QString());
    if (find(id) && find(id)->socket == socket && socket->bytesAvailable() > 0)
        onReadyRead(id, socket);
}

void TcpLineListener::onReadyRead(int id, QTcpSocket *socket)
{
    Conn *conn = find(id);
    if (!conn || conn->socket != socket) return;
    conn->lastInput.start();
    const QByteArray data = socket->readAll();
    for (LinePiece &piece : conn->splitter.feed(data)) {
        emit dataIn(id, piece.text, piece.endOfLine);
        // A handler may have closed this connection.
        conn = find(id);
        if (!conn || conn->socket != socket) return;
    }
}

void TcpLineListener::onBytesWritten(int id, QTcpSocket *socket)
{
    Conn *conn = find(id);
    if (!conn || conn->socket != socket) return;
    if (conn->blocked && SocketQueue::unsentBytes(socket) <= m_sendCap) {
        conn->blocked = false;
        emit readyToSend(id);
    }
}

void TcpLineListener::onSocketGone(int id, QTcpSocket *socket, int status,
                                   const QString &description)
{
    Conn *conn = find(id);
    if (!conn || conn->socket != socket) return;
    if (status == 0 && socket->bytesAvailable() > 0) {
        onReadyRead(id, socket);
        conn = find(id);
        if (!conn || conn->socket != socket) return;
    }
    closeAndReport(id, false, status, description);
}

void TcpLineListener::closeAndReport(int id, bool graceful, int status, const QString &description)
{
    Conn *conn = find(id);
    if (!conn || conn->closing) return;
    conn->closing = true;
    QTcpSocket *socket = conn->socket;
    conn->socket = nullptr;
    if (socket) releaseSocket(socket, this, graceful);
    if (conn->handshaking) {
        // Never reported as accepted: the failed handshake is the connection's only event.
        emit connectionAccepted(id, status != 0 ? status : EndpointErrors::ConnectionReset,
                                description.isEmpty()
                                    ? QStringLiteral("The encrypted connection was not set up")
                                    : description);
        m_conns.erase(id);
        return;
    }
    // The number and the remote address stay readable while the event is handled.
    emit disconnected(id, status, description);
    m_conns.erase(id);
}

std::unique_ptr<LineListener> TcpTransports::listener()
{
    return std::make_unique<TcpLineListener>();
}
