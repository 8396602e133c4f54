// IPPort: the client endpoint, one outgoing TCP connection. Its properties and events follow the
// component the program was designed around: writing RemoteHost resolves it, Connected = true
// starts an asynchronous connect reported by the Connected event, DataToSend never queues without
// bound, and DataIn delivers one line at a time when a terminator is set.
#pragma once

#include "endpointerror.h"
#include "linesplitter.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>

class QTcpSocket;

class IPPort : public QObject
{
    Q_OBJECT
public:
    // Unsent bytes above which DataToSend takes nothing and BytesSent reads 0.
    static constexpr qint64 DefaultSendCap = 128 * 1024;

    explicit IPPort(QObject *parent = nullptr);
    ~IPPort() override;

    QString remoteHost() const;
    EndpointError setRemoteHost(const QString &host);
    quint16 remotePort() const { return m_remotePort; }
    void setRemotePort(quint16 port) { m_remotePort = port; }
    QString localHost() const;

    bool connected() const { return m_connected; }
    bool connecting() const;
    EndpointError setConnected(bool on);

    EndpointError dataToSend(const QByteArray &bytes);
    qint64 bytesSent() const { return m_bytesSent; }
    qint64 bytesToWrite() const;

    QByteArray eol() const { return m_splitter.terminator(); }
    void setEol(const QByteArray &eol) { m_splitter.setTerminator(eol); }

    // The option flag the program raises when it first uses the endpoint and lowers at shutdown;
    // lowering it closes the connection.
    bool active() const { return m_active; }
    void setActive(bool on);

    void setSendCap(qint64 bytes) { m_sendCap = bytes; }

signals:
    void Connected(int statusCode, const QString &description);
    void Disconnected(int statusCode, const QString &description);
    void DataIn(const QByteArray &text, bool eol);
    void ReadyToSend();
    void Error(int errorCode, const QString &description);

private:
    void onConnected();
    void onReadyRead();
    void onBytesWritten();
    void onSocketError();
    void onDisconnected();
    void dropSocket(bool graceful);

    QPointer<QTcpSocket> m_socket;
    QHostAddress m_remoteAddress;
    QString m_remoteText;
    quint16 m_remotePort = 0;
    bool m_connected = false;
    bool m_blocked = false;
    bool m_active = false;
    qint64 m_bytesSent = 0;
    qint64 m_sendCap = DefaultSendCap;
    LineSplitter m_splitter;
};
