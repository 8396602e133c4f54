// IPDaemon: the listening endpoint. It accepts many connections, each known by a 16-bit
// connection number (the lowest free one, so a connection accepted while no other is open gets
// 1), asks ConnectionRequest before taking one, and offers per-connection properties and events
// like the client endpoint. The number of connections and each one's buffered line are bounded.
#pragma once

#include "endpointerror.h"
#include "linesplitter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <map>

class QTcpServer;
class QTcpSocket;
class QTimer;

class IPDaemon : public QObject
{
    Q_OBJECT
public:
    // Four listeners with this many connections each stay inside the usual 1,024 descriptors.
    static constexpr int DefaultMaxConnections = 200;
    static constexpr int AcceptRetryMs = 500;

    explicit IPDaemon(QObject *parent = nullptr);
    ~IPDaemon() override;

    quint16 localPort() const { return m_localPort; }
    void setLocalPort(quint16 port) { m_localPort = port; }
    bool listening() const;
    EndpointError setListening(bool on);

    bool connected(int id) const;
    EndpointError setConnected(int id, bool on); // only false (close) does anything
    QString remoteHost(int id) const;
    EndpointError dataToSend(int id, const QByteArray &bytes);
    qint64 bytesSent(int id) const;
    QByteArray eol(int id) const;
    void setEol(int id, const QByteArray &eol);
    void setBufferSizes(int id, int inBuffer, int outBuffer);
    QList<int> connectionIds() const;
    int connectionCount() const { return int(m_conns.size()); }
    // Milliseconds since connection id was accepted (-1 when there is no such connection).
    qint64 connectionAge(int id) const;

    // The option flag raised when the endpoint is first used; lowering it closes everything.
    bool active() const { return m_active; }
    void setActive(bool on);

    void setMaxConnections(int n) { m_maxConnections = n; }
    // Closes connections that have received nothing for this long (0: never).
    void setIdleTimeout(int ms);
    void setSendCap(qint64 bytes) { m_sendCap = bytes; }

signals:
    void ConnectionRequest(bool *accept);
    void Connected(int connectionId, int statusCode, const QString &description);
    void DataIn(int connectionId, const QByteArray &text, bool eol);
    void Disconnected(int connectionId, int statusCode, const QString &description);
    void ReadyToSend(int connectionId);
    void Error(int errorCode, const QString &description);

private:
    struct Conn {
        QPointer<QTcpSocket> socket;
        LineSplitter splitter;
        qint64 bytesSent = 0;
        bool blocked = false;
        bool closing = false; // its Disconnected event is being delivered
        QString remote;
        QElapsedTimer since;
        QElapsedTimer lastInput;
    };

    void onNewConnection();
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
    quint16 m_localPort = 0;
    bool m_active = false;
    int m_maxConnections = DefaultMaxConnections;
    int m_idleTimeoutMs = 0;
    qint64 m_sendCap = 128 * 1024;
};
