// Line transports in memory.
#include "memorytransport.h"

namespace
{
const EndpointError NotConnected{EndpointErrors::NotConnected, QStringLiteral("Not connected")};
} // namespace

std::unique_ptr<LineClient> MemoryNetwork::client()
{
    return std::make_unique<MemoryClient>(*this);
}

std::unique_ptr<LineListener> MemoryNetwork::listener()
{
    return std::make_unique<MemoryListener>(*this);
}

MemoryListener *MemoryNetwork::listenerOn(quint16 port) const
{
    const auto it = m_listening.find(port);
    return it == m_listening.end() ? nullptr : it->second.data();
}

void MemoryNetwork::post(std::function<void()> step)
{
    QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
}

void MemoryNetwork::connectClient(MemoryClient *client)
{
    client->m_connecting = false;
    MemoryListener *listener = listenerOn(client->m_port);
    if (!listener) {
        emit client->connectFinished(EndpointErrors::ConnectionRefused,
                                     QStringLiteral("Connection refused"));
        return;
    }
    auto link = std::make_shared<MemoryLink>();
    link->client = client;
    link->listener = listener;
    client->m_link = link;
    client->m_splitter.clear();
    // As on TCP, a connection the listener refuses has been made before it is closed.
    if (listener->accept(link) == 0)
        post([client = QPointer(client), link] {
            if (client) client->closedByPeer(link);
        });
    if (client->m_link == link) emit client->connectFinished(0, QString());
}

// ---- client -------------------------------------------------------------------------------

MemoryClient::~MemoryClient()
{
    const QSignalBlocker quiet(this);
    setConnected(false);
}

EndpointError MemoryClient::setRemoteHost(const QString &host)
{
    const QString name = host.trimmed();
    if (name.isEmpty() || name.endsWith(QLatin1String(".invalid")))
        return {EndpointErrors::HostNotFound, QStringLiteral("Host not found")};
    m_host = MemoryNetwork::Address;
    return {};
}

EndpointError MemoryClient::setConnected(bool on)
{
    if (on) {
        if (m_link || m_connecting) return {};
        if (m_host.isEmpty())
            return {EndpointErrors::HostNotFound, QStringLiteral("No remote host set")};
        m_connecting = true;
        m_network.post([self = QPointer(this)] {
            if (self && self->m_connecting) self->m_network.connectClient(self);
        });
        return {};
    }
    m_connecting = false;
    const std::shared_ptr<MemoryLink> link = std::move(m_link);
    m_link.reset();
    if (!link) return {};
    m_network.post([link] {
        if (link->listener) link->listener->closedByPeer(link);
    });
    emit disconnected(0, QString());
    return {};
}

EndpointError MemoryClient::dataToSend(const QByteArray &bytes)
{
    m_bytesSent = 0;
    if (!m_link) return NotConnected;
    m_bytesSent = bytes.size();
    if (m_network.tap) m_network.tap(m_port, m_link.get(), true, bytes);
    m_network.post([link = m_link, bytes] {
        if (link->listener) link->listener->receive(link, bytes);
    });
    return {};
}

void MemoryClient::receive(const std::shared_ptr<MemoryLink> &link, const QByteArray &bytes)
{
    for (LinePiece &piece : m_splitter.feed(bytes)) {
        if (m_link != link) return; // a handler closed the connection
        emit dataIn(piece.text, piece.endOfLine);
    }
}

void MemoryClient::closedByPeer(const std::shared_ptr<MemoryLink> &link)
{
    if (m_link != link) return;
    m_link.reset();
    m_splitter.clear();
    emit disconnected(0, QString());
}

// ---- listener -----------------------------------------------------------------------------

MemoryListener::MemoryListener(MemoryNetwork &network) : m_network(network)
{
    connect(&m_idle, &QTimer::timeout, this, [this] {
        for (int id : connectionIds())
            if (Conn *c = find(id); c && c->lastInput.elapsed() > m_idleMs) close(id, true);
    });
}

MemoryListener::~MemoryListener()
{
    const QSignalBlocker quiet(this);
    setActive(false);
}

EndpointError MemoryListener::setListening(bool on)
{
    if (m_listening && m_network.listenerOn(m_port) == this) m_network.m_listening.erase(m_port);
    m_listening = false;
    if (!on) return {};
    if (m_network.listenerOn(m_port))
        return {EndpointErrors::AddressInUse, QStringLiteral("Address already in use")};
    m_network.m_listening[m_port] = this;
    m_listening = true;
    return {};
}

int MemoryListener::accept(const std::shared_ptr<MemoryLink> &link)
{
    bool accepted = connectionCount() < MaxConnections;
    if (accepted) emit connectionRequest(&accepted);
    if (!accepted) return 0;
    int id = 1;
    while (m_conns.count(id))
        ++id;
    link->id = id;
    Conn &conn = m_conns[id];
    conn.link = link;
    conn.since.start();
    conn.lastInput.start();
    emit connectionAccepted(id, 0, QString());
    return id;
}

MemoryListener::Conn *MemoryListener::find(int id)
{
    const auto it = m_conns.find(id);
    return it == m_conns.end() ? nullptr : &it->second;
}

EndpointError MemoryListener::setConnected(int id, bool on)
{
    if (!on) close(id, true);
    return {};
}

void MemoryListener::close(int id, bool tellPeer)
{
    Conn *conn = find(id);
    if (!conn) return;
    const std::shared_ptr<MemoryLink> link = conn->link;
    if (tellPeer)
        m_network.post([link] {
            if (link->client) link->client->closedByPeer(link);
        });
    // The number and the remote address stay readable while the event is handled.
    emit disconnected(id, 0, QString());
    if (Conn *still = find(id); still && still->link == link) m_conns.erase(id);
}

QString MemoryListener::remoteHost(int id) const
{
    return m_conns.count(id) ? MemoryNetwork::Address : QString();
}

EndpointError MemoryListener::dataToSend(int id, const QByteArray &bytes)
{
    Conn *conn = find(id);
    if (!conn) return NotConnected;
    conn->bytesSent = bytes.size();
    if (m_network.tap) m_network.tap(m_port, conn->link.get(), false, bytes);
    m_network.post([link = conn->link, bytes] {
        if (link->client) link->client->receive(link, bytes);
    });
    return {};
}

qint64 MemoryListener::bytesSent(int id) const
{
    const auto it = m_conns.find(id);
    return it == m_conns.end() ? 0 : it->second.bytesSent;
}

void MemoryListener::setEol(int id, const QByteArray &eol)
{
    if (Conn *conn = find(id)) conn->splitter.setTerminator(eol);
}

QList<int> MemoryListener::connectionIds() const
{
    QList<int> ids;
    for (const auto &entry : m_conns)
        ids.append(entry.first);
    return ids;
}

qint64 MemoryListener::connectionAge(int id) const
{
    const auto it = m_conns.find(id);
    return it == m_conns.end() ? -1 : it->second.since.elapsed();
}

void MemoryListener::setActive(bool on)
{
    if (on) return;
    setListening(false);
    for (int id : connectionIds())
        close(id, true);
}

void MemoryListener::setIdleTimeout(int ms)
{
    m_idleMs = ms;
    if (ms <= 0)
        m_idle.stop();
    else
        m_idle.start(std::max(50, std::min(ms / 4, 1000)));
}

void MemoryListener::receive(const std::shared_ptr<MemoryLink> &link, const QByteArray &bytes)
{
    Conn *conn = find(link->id);
    if (!conn || conn->link != link) return;
    conn->lastInput.start();
    for (LinePiece &piece : conn->splitter.feed(bytes)) {
        emit dataIn(link->id, piece.text, piece.endOfLine);
        conn = find(link->id);
        if (!conn || conn->link != link) return;
    }
}

void MemoryListener::closedByPeer(const std::shared_ptr<MemoryLink> &link)
{
    Conn *conn = find(link->id);
    if (conn && conn->link == link) close(link->id, false);
}
