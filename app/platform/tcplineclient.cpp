// The client endpoint on QTcpSocket.
#include "tcplineclient.h"

#include <utility>

#include "netaddress.h"
#include "socketqueue.h"
#include "sockets.h"
#include "tcplinelistener.h"

#include <QSslSocket>
#include <QTcpSocket>

TcpLineClient::TcpLineClient(QObject *parent) : LineClient(parent)
{
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &TcpLineClient::onConnectTimeout);
}

TcpLineClient::~TcpLineClient()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        delete m_socket;
    }
}

QString TcpLineClient::remoteHost() const
{
    if (m_socket && m_connected) return NetAddress::text(m_socket->peerAddress());
    return m_remoteText;
}

EndpointError TcpLineClient::setRemoteHost(const QString &host)
{
    QHostAddress address;
    bool isName = false;
    EndpointError error = NetAddress::literal(host, &address, &isName);
    if (error) return error;
    if (isName) {
        m_remoteAddress.clear();
        m_remoteName = host.trimmed();
        m_remoteText = m_remoteName;
        return {};
    }
    m_remoteName.clear();
    m_remoteAddress = address;
    m_remoteText = NetAddress::text(address);
    return {};
}

QString TcpLineClient::localHost() const
{
    if (m_socket && m_connected) return NetAddress::text(m_socket->localAddress());
    return NetAddress::localMachineAddress();
}

bool TcpLineClient::connecting() const
{
    return m_lookup != 0 ||
           (m_socket && !m_connected && m_socket->state() != QAbstractSocket::UnconnectedState);
}

qint64 TcpLineClient::bytesToWrite() const
{
    return m_socket ? SocketQueue::unsentBytes(m_socket) : 0;
}

qint64 TcpLineClient::bytesWaiting() const
{
    if (!m_socket) return 0;
    return SocketQueue::unsentBytes(m_socket) +
           SocketQueue::queuedBytes(m_socket->socketDescriptor());
}

QSslCertificate TcpLineClient::peerCertificate() const
{
    const auto *tls = qobject_cast<const QSslSocket *>(m_socket.data());
    return tls && m_connected ? tls->peerCertificate() : QSslCertificate();
}

EndpointError TcpLineClient::setConnected(bool on)
{
    if (!on) {
        m_lookup = 0;
        if (!m_socket) return {};
        const bool wasConnected = m_connected;
        dropSocket(wasConnected);
        // A local close is reported like a remote one, so the program's end-of-connection
        // handling runs whichever side closes.
        if (wasConnected) emit disconnected(0, QString());
        return {};
    }
    if (m_socket || m_lookup != 0) return {};
    m_active = true;
    if (!m_remoteName.isEmpty()) {
        static quint64 lookups = 0;
        const quint64 lookup = ++lookups;
        m_lookup = lookup;
        NetAddress::lookUp(m_remoteName, this,
                           [this, lookup](const EndpointError &error, const QHostAddress &address) {
                               if (m_lookup != lookup) return; // closed, or asked again since
                               m_lookup = 0;
                               if (error) {
                                   emit connectFinished(error.number, error.description);
                                   return;
                               }
                               m_remoteAddress = address;
                               m_remoteText = NetAddress::text(address);
                               connectSocket();
                           });
        return {};
    }
    if (m_remoteAddress.isNull())
        return {EndpointErrors::HostNotFound, QStringLiteral("No remote host set")};
    connectSocket();
    return {};
}

void TcpLineClient::connectSocket()
{
    m_splitter.clear();
    m_blocked = false;
    if (m_tls) {
        // The connection counts as made once the handshake is through.
        auto *tls = new QSslSocket(this);
        tls->setSslConfiguration(*m_tls);
        connect(tls, &QTcpSocket::connected, tls, [this, tls] {
            tls->startClientEncryption();
            // A peer that takes the connection but never finishes the handshake is given up.
            if (!m_connectTimer.isActive()) m_connectTimer.start(TcpLineListener::HandshakeMs);
        });
        connect(tls, &QSslSocket::encrypted, this, &TcpLineClient::onConnected);
        connect(tls, &QSslSocket::encryptedBytesWritten, this, &TcpLineClient::onBytesWritten);
        m_socket = tls;
    } else {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QTcpSocket::connected, this, &TcpLineClient::onConnected);
    }
    m_socket->setReadBufferSize(SocketReadBuffer);
    connect(m_socket, &QTcpSocket::readyRead, this, &TcpLineClient::onReadyRead);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &TcpLineClient::onBytesWritten);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &TcpLineClient::onSocketError);
    connect(m_socket, &QTcpSocket::disconnected, this, &TcpLineClient::onDisconnected);
    m_lostWith = {};
    m_socket->connectToHost(m_remoteAddress, m_remotePort);
    if (m_socket && m_connectTimeoutMs > 0) m_connectTimer.start(m_connectTimeoutMs);
}

void TcpLineClient::onConnectTimeout()
{
    if (!m_socket || m_connected) return;
    dropSocket(false);
    emit connectFinished(EndpointErrors::TimedOut, QStringLiteral("Connection timed out"));
}

void TcpLineClient::dropSocket(bool graceful)
{
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    m_connectTimer.stop();
    m_connected = false;
    m_splitter.clear();
    if (socket) releaseSocket(socket, this, graceful);
}

void TcpLineClient::setActive(bool on)
{
    m_active = on;
    if (!on) setConnected(false);
}

EndpointError TcpLineClient::dataToSend(const QByteArray &bytes)
{
    m_bytesSent = 0;
    if (!m_socket || !m_connected)
        return {EndpointErrors::NotConnected, QStringLiteral("Not connected")};
    if (SocketQueue::unsentBytes(m_socket) > m_sendCap) {
        m_blocked = true;
        return {EndpointErrors::WouldBlock, QStringLiteral("Send buffer full")};
    }
    // Writing may find the connection gone and report its end at once, which lets the socket go.
    const QPointer<QTcpSocket> socket = m_socket;
    const qint64 written = socket->write(bytes);
    if (m_socket != socket) return {EndpointErrors::NotConnected, QStringLiteral("Not connected")};
    if (written < 0) return socketError(socket->error(), socket->errorString());
    socket->flush();
    if (m_socket != socket) return {EndpointErrors::NotConnected, QStringLiteral("Not connected")};
    m_bytesSent = written;
    return {};
}

void TcpLineClient::onConnected()
{
    m_connected = true;
    m_connectTimer.stop();
    SocketQueue::limitUnsent(m_socket->socketDescriptor());
    SocketQueue::noticeLoss(m_socket->socketDescriptor());
    emit connectFinished(0, QString());
}

void TcpLineClient::onReadyRead()
{
    QPointer<QTcpSocket> socket = m_socket;
    if (!socket) return;
    const QByteArray data = socket->readAll();
    for (LinePiece &piece : m_splitter.feed(data)) {
        emit dataIn(piece.text, piece.endOfLine);
        // A handler may have closed or replaced the connection.
        if (m_socket != socket) return;
    }
}

void TcpLineClient::onBytesWritten()
{
    if (m_blocked && m_socket && SocketQueue::unsentBytes(m_socket) <= m_sendCap) {
        m_blocked = false;
        emit readyToSend();
    }
}

void TcpLineClient::onSocketError()
{
    if (!m_socket) return;
    const auto code = m_socket->error();
    if (code == QAbstractSocket::RemoteHostClosedError)
        return; // reported by the disconnected signal
    const EndpointError error = socketError(code, m_socket->errorString());
    if (!m_connected) {
        dropSocket(false);
        emit connectFinished(error.number, error.description);
        return;
    }
    emit errorOccurred(error.number, error.description);
    if (m_socket->state() == QAbstractSocket::UnconnectedState) {
        dropSocket(false);
        emit disconnected(error.number, error.description);
    } else {
        m_lostWith = error; // the disconnected signal that follows reports it
    }
}

void TcpLineClient::onDisconnected()
{
    if (!m_connected) {
        dropSocket(false);
        return;
    }
    onReadyRead();
    if (!m_socket) return;
    dropSocket(false);
    const EndpointError error = std::exchange(m_lostWith, EndpointError{});
    emit disconnected(error.number, error.description);
}

std::unique_ptr<LineClient> TcpTransports::client()
{
    return std::make_unique<TcpLineClient>();
}

bool TcpTransports::canEncrypt() const
{
    return QSslSocket::supportsSsl();
}
