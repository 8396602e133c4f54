// Line transports in memory: clients connect to listeners of the same MemoryNetwork by port, and
// bytes cross on the next turn of the event loop, split into lines by the receiving side's
// terminator as on TCP. Every host name or dotted address that is not a ".invalid" name reaches
// the one machine the network simulates. Closing one side reports disconnected on both, after
// whatever was sent before the close has arrived. Used to run both sides of a conversation in one
// test, without ports.
#pragma once

#include "linetransport.h"
#include "protocol/linesplitter.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <map>

class MemoryClient;
class MemoryListener;

class MemoryNetwork : public QObject, public Transports
{
    Q_OBJECT
public:
    static inline const QString Address = QStringLiteral("127.0.0.1");

    using QObject::QObject;
    std::unique_ptr<LineClient> client() override;
    std::unique_ptr<LineListener> listener() override;

    MemoryListener *listenerOn(quint16 port) const;

    // Sees every byte sent on the network as it is sent: the listener's port, the connection
    // and the direction (the fuzz targets' seeds are recorded this way).
    std::function<void(quint16 port, const void *connection, bool toListener,
                       const QByteArray &bytes)>
        tap;

private:
    friend class MemoryClient;
    friend class MemoryListener;
    // Runs `step` on the next turn of the loop, after every step posted before it.
    void post(std::function<void()> step);
    void connectClient(MemoryClient *client);

    std::map<quint16, QPointer<MemoryListener>> m_listening;
};

// One connection between a client and a listener.
struct MemoryLink {
    QPointer<MemoryClient> client;
    QPointer<MemoryListener> listener;
    int id = 0;
};

class MemoryClient : public LineClient
{
    Q_OBJECT
public:
    explicit MemoryClient(MemoryNetwork &network) : m_network(network) {}
    ~MemoryClient() override;

    QString remoteHost() const override { return m_host; }
    EndpointError setRemoteHost(const QString &host) override;
    quint16 remotePort() const override { return m_port; }
    void setRemotePort(quint16 port) override { m_port = port; }
    QString localHost() const override { return MemoryNetwork::Address; }
    bool connected() const override { return m_link != nullptr; }
    bool connecting() const override { return m_connecting; }
    EndpointError setConnected(bool on) override;
    EndpointError dataToSend(const QByteArray &bytes) override;
    qint64 bytesSent() const override { return m_bytesSent; }
    qint64 bytesWaiting() const override { return 0; }
    void setEol(const QByteArray &eol) override { m_splitter.setTerminator(eol); }
    void setActive(bool on) override
    {
        if (!on) setConnected(false);
    }
    void setSendCap(qint64) override {}

private:
    friend class MemoryNetwork;
    friend class MemoryListener;
    void receive(const std::shared_ptr<MemoryLink> &link, const QByteArray &bytes);
    void closedByPeer(const std::shared_ptr<MemoryLink> &link);

    MemoryNetwork &m_network;
    QString m_host;
    quint16 m_port = 0;
    bool m_connecting = false;
    std::shared_ptr<MemoryLink> m_link;
    LineSplitter m_splitter;
    qint64 m_bytesSent = 0;
};

class MemoryListener : public LineListener
{
    Q_OBJECT
public:
    static constexpr int MaxConnections = 200;

    explicit MemoryListener(MemoryNetwork &network);
    ~MemoryListener() override;

    quint16 localPort() const override { return m_port; }
    void setLocalPort(quint16 port) override { m_port = port; }
    bool listening() const override { return m_listening; }
    EndpointError setListening(bool on) override;
    bool connected(int id) const override { return m_conns.count(id) != 0; }
    EndpointError setConnected(int id, bool on) override;
    QString remoteHost(int id) const override;
    EndpointError dataToSend(int id, const QByteArray &bytes) override;
    qint64 bytesSent(int id) const override;
    qint64 bytesWaiting(int) const override { return 0; }
    void setEol(int id, const QByteArray &eol) override;
    void setBufferSizes(int, int, int) override {}
    QList<int> connectionIds() const override;
    int connectionCount() const override { return int(m_conns.size()); }
    qint64 connectionAge(int id) const override;
    void setActive(bool on) override;
    void setIdleTimeout(int ms) override;
    void setSendCap(qint64) override {}

private:
    friend class MemoryNetwork;
    friend class MemoryClient;
    struct Conn {
        std::shared_ptr<MemoryLink> link;
        LineSplitter splitter;
        qint64 bytesSent = 0;
        QElapsedTimer since, lastInput;
    };
    int accept(const std::shared_ptr<MemoryLink> &link);
    void receive(const std::shared_ptr<MemoryLink> &link, const QByteArray &bytes);
    void closedByPeer(const std::shared_ptr<MemoryLink> &link);
    void close(int id, bool tellPeer);
    Conn *find(int id);

    MemoryNetwork &m_network;
    quint16 m_port = 0;
    bool m_listening = false;
    std::map<int, Conn> m_conns;
    QTimer m_idle;
    int m_idleMs = 0;
};
