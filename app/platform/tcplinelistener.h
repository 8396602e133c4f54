// The listening end of a line transport on TCP. It accepts many connections, each known by a
// 16-bit connection number (the lowest free one, so a connection accepted while no other is open
// gets 1), asks connectionRequest before taking one, and offers per-connection properties and
// events like the client end. The number of connections and each one's buffered line are bounded.
#pragma once

#include "linetransport.h"
#include "protocol/linesplitter.h"

#include <QElapsedTimer>
#include <QPointer>
#include <map>

class QTcpServer;
class QTcpSocket;
class QTimer;

class TcpLineListener : public LineListener
{
    Q_OBJECT
public:
    // Four listeners with this many connections each stay inside the usual 1,024 descriptors.
    static constexpr int DefaultMaxConnections = 200;
    static constexpr int AcceptRetryMs = 500;
    // An encrypted connection whose handshake takes longer is closed.
    static constexpr int HandshakeMs = 10000;

    explicit TcpLineListener(QObject *parent = nullptr);
    ~TcpLineListener() override;

    quint16 localPort() const override { return m_localPort; }
    void setLocalPort(quint16 port) override { m_localPort = port; }
    bool listening() const override;
    EndpointError setListening(bool on) override;

    bool connected(int id) const override;
    EndpointError setConnected(int id, bool on) override;
    QString remoteHost(int id) const override;
    EndpointError dataToSend(int id, const QByteArray &bytes) override;
    qint64 bytesSent(int id) const override;
    qint64 bytesWaiting(int id) const override;
    QByteArray eol(int id) const;
    void setEol(int id, const QByteArray &eol) override;
    void setBufferSizes(int id, int inBuffer, int outBuffer) override;
    QList<int> connectionIds() const override;
    int connectionCount() const override { return int(m_conns.size()); }
    qint64 connectionAge(int id) const override;

    bool active() const { return m_active; }
    void setActive(bool on) override;

    void setMaxConnections(int n) { m_maxConnections = n; }
    void setIdleTimeout(int ms) override;
    void setSendCap(qint64 bytes) override { m_sendCap = bytes; }
    void setEncryption(const std::optional<QSslConfiguration> &tls) override { m_tls = tls; }
    QSslCertificate peerCertificate(int id) const override;

private:
    struct Conn {
        QPointer<QTcpSocket> socket;
        LineSplitter splitter;
        qint64 bytesSent = 0;
        bool blocked = false;
        bool closing = false;     // its disconnected event is being delivered
        bool handshaking = false; // accepted over TLS, not reported until the handshake is done
        QString remote;
        QElapsedTimer since;
        QElapsedTimer lastInput;
    };

    void onNewConnection();
    void onEncrypted(int id, QTcpSocket *socket);
    void onReadyRead(int id, QTcpSocket *socket);
    void onBytesWritten(int id, QTcpSocket *socket);
    void onSocketGone(int id, QTcpSocket *socket, int status, const QString &description);
    void sweepIdle();
    int freeId() const;
    Conn *find(int id);
    const Conn *find(int id) const;
    void closeAndReport(int id, bool graceful, int status, const QString &description);

    QTcpServer *m_server = nullptr;
    QTimer *m_idleTimer = nullptr;
    std::map<int, Conn> m_conns;
    std::optional<QSslConfiguration> m_tls;
    quint16 m_localPort = 0;
    bool m_active = false;
    int m_maxConnections = DefaultMaxConnections;
    int m_idleTimeoutMs = 0;
    qint64 m_sendCap = 128 * 1024;
};
