// The directory and the pal server.
#include "directoryserver.h"

#include "idstore.h"
#include "protocol/pal.h"

#include <QDeadlineTimer>

struct DirectoryServer::Session : ConnectionState {
    OnlineUser user;
    bool online = false;
    qint32 newId = 0; // handed out on this connection
};

namespace
{
constexpr qint64 HourMs = 3600 * 1000;

NetLoop::Limits limitsOf(const ServerConfig &c)
{
    NetLoop::Limits l;
    l.perAddress = c.connectionsPerAddress;
    l.perLoopback = c.connectionsPerLoopback;
    l.total = c.connectionsTotal;
    l.maxLineBytes = c.maxLineBytes;
    l.loginMs = c.loginSeconds * 1000;
    return l;
}
} // namespace

DirectoryServer::DirectoryServer(const ServerConfig &config, IdStore &ids)
    : m_config(config), m_ids(ids),
      m_loop(std::make_unique<NetLoop>(static_cast<NetLoop::Handler &>(*this), limitsOf(config)))
{
    using namespace Directory;
    m_intro = build(Notice{Notice::Intro, m_config.welcome});
    if (!m_config.servers.isEmpty()) m_afterLogin += build(ServerList{m_config.servers});
    for (const QString &text : m_config.messages)
        m_afterLogin += build(Notice{Notice::Message, text});
    if (m_config.redirect) m_afterLogin += build(*m_config.redirect);
    m_busy = build(Notice{Notice::Busy, m_config.busyText});
    m_tooMany = build(
        Notice{Notice::Busy, QStringLiteral("Too many connections. Please try again later.")});
}

DirectoryServer::~DirectoryServer() = default;

bool DirectoryServer::start(QString *error)
{
    return m_loop->listen(NetLoop::DirectoryChannel, m_config.listenAddress, m_config.directoryPort,
                          error) &&
           m_loop->listen(NetLoop::PalChannel, m_config.listenAddress, m_config.palPort, error);
}

void DirectoryServer::lineReceived(NetLoop::Connection &c, const QByteArray &line)
{
    const Directory::Request request = Directory::parseRequest(line);
    if (std::holds_alternative<std::monostate>(request)) return;
    if (!c.state) c.state = std::make_unique<Session>();
    Session &s = static_cast<Session &>(*c.state);
    const bool pal = c.channel == NetLoop::PalChannel;

    if (const auto *login = std::get_if<Directory::Login>(&request)) {
        pal ? palLogin(c, s, *login) : directoryLogin(c, s, *login);
    } else if (std::holds_alternative<Directory::NewIdRequest>(request)) {
        if (pal) newId(c, s);
    } else if (const auto *lookup = std::get_if<Directory::EmailLookup>(&request)) {
        if (s.online) m_loop->send(c, m_presence.lookup(lookup->address));
    } else if (pal) {
        return; // the directory's own requests
    } else if (std::holds_alternative<Directory::Intro>(request)) {
        m_loop->send(c, m_intro);
    } else if (std::holds_alternative<Directory::ListRequest>(request)) {
        if (s.online) m_loop->send(c, m_presence.userList());
    }
}

void DirectoryServer::directoryLogin(NetLoop::Connection &c, Session &s,
                                     const Directory::Login &login)
{
    if (s.online) {
        m_presence.remove(&s.user); // a second login replaces the first
    } else if (m_config.maxUsers > 0 && m_presence.directoryUsers() >= m_config.maxUsers) {
        m_loop->send(c, m_busy);
        m_loop->closeAfterSending(c);
        return;
    }
    s.user = Presence::fromLogin(login, OnlineUser::DirectorySide, c.peerText());
    m_presence.add(&s.user);
    const bool first = !s.online;
    s.online = true;
    m_loop->setLoggedIn(c);
    if (first) m_loop->send(c, m_afterLogin);
}

void DirectoryServer::palLogin(NetLoop::Connection &c, Session &s, const Directory::Login &login)
{
    if (s.online) {
        m_presence.remove(&s.user);
    } else if (m_config.maxPalUsers > 0 && m_presence.palUsers() >= m_config.maxPalUsers) {
        turnAwayPalClient(c);
        return;
    }
    s.user = Presence::fromLogin(login, OnlineUser::PalSide, c.peerText());
    m_presence.add(&s.user);
    s.online = true;
    m_loop->setLoggedIn(c);
}

void DirectoryServer::newId(NetLoop::Connection &c, Session &s)
{
    if (s.newId == 0) {
        if (newIdAllowed(c.peer)) s.newId = m_ids.issueId();
        if (s.newId == 0) {
            turnAwayPalClient(c);
            return;
        }
    }
    m_loop->send(c, Pal::build(Pal::NewId{s.newId}));
}

void DirectoryServer::turnAwayPalClient(NetLoop::Connection &c)
{
    if (m_config.palMove) m_loop->send(c, Pal::build(*m_config.palMove));
    m_loop->closeAfterSending(c);
}

bool DirectoryServer::newIdAllowed(quint32 address)
{
    if (m_config.newIdsPerAddressPerHour <= 0) return true;
    const qint64 now = QDeadlineTimer::current().deadline();
    if (m_newIds.size() > 100000) { // forget the addresses whose hour is over
        for (auto it = m_newIds.begin(); it != m_newIds.end();)
            it = now - it->since >= HourMs ? m_newIds.erase(it) : std::next(it);
    }
    Quota &q = m_newIds[address];
    if (now - q.since >= HourMs) q = Quota{now, 0};
    if (q.issued >= m_config.newIdsPerAddressPerHour) return false;
    ++q.issued;
    return true;
}

void DirectoryServer::connectionClosed(NetLoop::Connection &c)
{
    if (!c.state) return;
    Session &s = static_cast<Session &>(*c.state);
    if (s.online) m_presence.remove(&s.user);
    s.online = false;
}

QByteArray DirectoryServer::refusal(NetLoop::Channel channel)
{
    return channel == NetLoop::DirectoryChannel ? m_tooMany : QByteArray();
}
