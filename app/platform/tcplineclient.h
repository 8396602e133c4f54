// The client end of a line transport on TCP: one outgoing connection. Setting the remote host
// takes a dotted address at once, setConnected(true) starts an asynchronous connect reported by
// connectFinished, dataToSend never queues without bound, and dataIn delivers one line at a
// time when a terminator is set. A host name is looked up as part of the connect, away from the
// program's thread, so a slow name server never freezes the windows and the timers; one that
// cannot be found is reported by connectFinished with HostNotFound.
#pragma once

#include "linetransport.h"
#include "protocol/linesplitter.h"

#include <QHostAddress>
#include <QPointer>
#include <QTimer>

class QTcpSocket;

class TcpLineClient : public LineClient
{
    Q_OBJECT
public:
    // Unsent bytes above which dataToSend takes nothing and bytesSent reads 0.
    static constexpr qint64 DefaultSendCap = 128 * 1024;

    explicit TcpLineClient(QObject *parent = nullptr);
    ~TcpLineClient() override;

    QString remoteHost() const override;
    EndpointError setRemoteHost(const QString &host) override;
    quint16 remotePort() const override { return m_remotePort; }
    void setRemotePort(quint16 port) override { m_remotePort = port; }
    QString localHost() const override;

    bool connected() const override { return m_connected; }
    bool connecting() const override;
    EndpointError setConnected(bool on) override;

    EndpointError dataToSend(const QByteArray &bytes) override;
    qint64 bytesSent() const override { return m_bytesSent; }
    qint64 bytesToWrite() const;
    qint64 bytesWaiting() const override;

    QByteArray eol() const { return m_splitter.terminator(); }
    void setEol(const QByteArray &eol) override { m_splitter.setTerminator(eol); }

    bool active() const { return m_active; }
    void setActive(bool on) override;

    void setSendCap(qint64 bytes) override { m_sendCap = bytes; }
    void setConnectTimeout(int ms) override { m_connectTimeoutMs = ms; }
    void setEncryption(const std::optional<QSslConfiguration> &tls) override { m_tls = tls; }
    QSslCertificate peerCertificate() const override;

private:
    void onConnected();
    void onReadyRead();
    void onBytesWritten();
    void onSocketError();
    void onDisconnected();
    void dropSocket(bool graceful);
    void connectSocket();
    void onConnectTimeout();

    QPointer<QTcpSocket> m_socket;
    QHostAddress m_remoteAddress;
    QString m_remoteText;
    QString m_remoteName; // a host name still to be looked up at the next connect
    quint64 m_lookup = 0; // the lookup under way (0: none); a newer one or a close drops it
    quint16 m_remotePort = 0;
    bool m_connected = false;
    EndpointError m_lostWith; // the error a connection ended with, until it is reported
    bool m_blocked = false;
    bool m_active = false;
    qint64 m_bytesSent = 0;
    qint64 m_sendCap = DefaultSendCap;
    int m_connectTimeoutMs = 0;
    QTimer m_connectTimer;
    LineSplitter m_splitter;
    std::optional<QSslConfiguration> m_tls;
};
