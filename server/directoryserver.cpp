// The directory and the pal server.
#include "directoryserver.h"

#include "idstore.h"
#include "log.h"
#include "protocol/pal.h"

#include <QDeadlineTimer>

struct DirectoryServer::Session : ConnectionState {
    OnlineUser user;       // online while logged in
    bool welcomed = false; // the notices after a login went out
    qint32 newId = 0;      // handed out on this connection
};

namespace
{

qint64 nowMs()
{
    return QDeadlineTimer::current().deadline();
}

const char *sideOf(const NetLoop::Connection &c)
{
    return c.channel == NetLoop::PalChannel ? "pal" : "directory";
}

// "pal login: 192.0.2.7 ID 12 \"Ann\" <ann@x.org>"
QString described(const char *what, const NetLoop::Connection &c, const OnlineUser &u)
{
    QString text = QStringLiteral("%1 %2: %3 ")
                       .arg(QLatin1String(sideOf(c)), QLatin1String(what), c.peerText());
    text += u.entry.id ? QStringLiteral("ID %1").arg(u.entry.id) : QStringLiteral("no ID");
    text += QLatin1Char(' ') + Log::quoted(u.entry.name);
    if (!u.email.isEmpty()) text += QStringLiteral(" <%1>").arg(u.email);
    return text;
}

NetLoop::Limits limitsOf(const ServerConfig &c)
{
    NetLoop::Limits l;
    l.perAddress = c.connectionsPerAddress;
    l.perLoopback = c.connectionsPerLoopback;
    l.total = c.connectionsTotal;
    l.maxLineBytes = c.maxLineBytes;
    l.loginMs = c.loginSeconds * 1000;
    l.keepaliveIdleSeconds = c.keepaliveIdleSeconds;
    l.keepaliveIntervalSeconds = c.keepaliveIntervalSeconds;
    l.keepaliveProbes = c.keepaliveProbes;
    return l;
}
} // namespace

DirectoryServer::DirectoryServer(const ServerConfig &config, IdStore &ids)
    : m_config(config), m_ids(ids), m_newIds(config.newIdsPerAddressPerHour),
      m_failedLogins(config.failedLoginsPerAddressPerHour),
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
    if (m_config.summarySeconds > 0) {
        QObject::connect(&m_summary, &QTimer::timeout, [this] { logSummary(); });
        m_summary.start(std::chrono::seconds(m_config.summarySeconds));
    }
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
        if (s.user.online()) m_loop->send(c, m_presence.lookup(lookup->address));
    } else if (pal) {
        return; // the directory's own requests
    } else if (std::holds_alternative<Directory::Intro>(request)) {
        m_loop->send(c, m_intro);
    } else if (std::holds_alternative<Directory::ListRequest>(request)) {
        if (s.user.online()) m_loop->send(c, m_presence.userList());
    }
}

void DirectoryServer::directoryLogin(NetLoop::Connection &c, Session &s,
                                     const Directory::Login &login)
{
    if (s.user.online()) {
        m_presence.remove(&s.user); // a second login replaces the first
    } else if (m_config.maxUsers > 0 && m_presence.directoryUsers() >= m_config.maxUsers) {
        ++m_refused;
        Log::warning(QStringLiteral("directory full (%1 users): %2 turned away")
                         .arg(m_config.maxUsers)
                         .arg(c.peerText()));
        m_loop->send(c, m_busy);
        m_loop->closeAfterSending(c);
        return;
    }
    s.user = Presence::fromLogin(login, OnlineUser::DirectorySide, c.peerText());
    if (!admitted(c, s.user)) return;
    m_presence.add(&s.user);
    m_loop->setLoggedIn(c);
    ++m_logins;
    Log::info(described("login", c, s.user) +
              (s.user.listed ? QStringLiteral(" listed") : QStringLiteral(" unlisted")));
    if (!s.welcomed) m_loop->send(c, m_afterLogin);
    s.welcomed = true;
}

void DirectoryServer::palLogin(NetLoop::Connection &c, Session &s, const Directory::Login &login)
{
    if (s.user.online()) {
        m_presence.remove(&s.user);
    } else if (m_config.maxPalUsers > 0 && m_presence.palUsers() >= m_config.maxPalUsers) {
        ++m_refused;
        Log::warning(QStringLiteral("pal server full (%1 users): %2 turned away")
                         .arg(m_config.maxPalUsers)
                         .arg(c.peerText()));
        turnAwayPalClient(c);
        return;
    }
    s.user = Presence::fromLogin(login, OnlineUser::PalSide, c.peerText());
    if (!admitted(c, s.user)) return;
    m_presence.add(&s.user);
    m_loop->setLoggedIn(c);
    ++m_logins;
    Log::info(described("login", c, s.user));
}

bool DirectoryServer::admitted(NetLoop::Connection &c, const OnlineUser &user)
{
    const qint64 now = nowMs();
    const qint32 id = user.entry.id; // 0: the login has none
    QString refusal;
    bool failed = false; // the login's own fault, not the server's
    bool again = false;  // what the address was told before
    const QString cannotCheck =
        QStringLiteral("the server cannot check logins just now. Please try again later.");
    auto refuse = [&](const QString &why, bool theirs) {
        refusal = QStringLiteral("Login refused: ") + why;
        failed = theirs;
    };
    if (!m_failedLogins.allows(c.peer, now)) {
        again = true;
        refuse(QStringLiteral("too many failed logins from your address. Please try again "
                              "later."),
               false);
    } else if (const std::optional<bool> issued = id ? m_ids.wasIssued(id) : true; !issued) {
        refuse(cannotCheck, false);
    } else if (!*issued) {
        refuse(QStringLiteral("this server never issued the user ID %1.").arg(id), true);
    } else if (!user.email.isEmpty()) {
        // The first login with an ID claims its address; one without only looks.
        const std::optional<qint32> owner =
            id ? m_ids.claimEmail(user.email, id) : m_ids.emailOwner(user.email);
        if (!owner) {
            refuse(cannotCheck, false);
        } else if (*owner != 0 && *owner != id) {
            refuse(QStringLiteral("this e-mail address is registered to another user."), true);
        } else if (*owner != 0) {
            // Whoever came in with it before it was claimed goes.
            if (const int gone = m_presence.removeAllBut(user.email, *owner))
                Log::info(QStringLiteral("%1 taken offline: <%2> belongs to ID %3")
                              .arg(gone == 1 ? QStringLiteral("1 user")
                                             : QStringLiteral("%1 users").arg(gone))
                              .arg(user.email)
                              .arg(*owner));
        }
    }
    if (refusal.isEmpty()) return true;

    ++m_refused;
    if (!again || m_refusalLines.allows(c.peer, now))
        Log::warning(described("login refused", c, user) + QStringLiteral(": ") + refusal);
    if (failed && m_failedLogins.take(c.peer, now, qHashMulti(0, id, user.email) | 1) ==
                      AddressBuckets::TookTheLast)
        Log::warning(
            QStringLiteral("%1: %2 failed logins within the hour; its logins are refused for a "
                           "while")
                .arg(c.peerText())
                .arg(m_config.failedLoginsPerAddressPerHour));
    using Directory::Notice;
    const bool pal = c.channel == NetLoop::PalChannel;
    m_loop->send(c, Directory::build(Notice{pal ? Notice::Message : Notice::Busy, refusal}));
    m_loop->closeAfterSending(c);
    return false;
}

void DirectoryServer::newId(NetLoop::Connection &c, Session &s)
{
    if (s.newId == 0) {
        switch (m_newIds.take(c.peer, nowMs())) {
        case AddressBuckets::TookTheLast:
            Log::warning(
                QStringLiteral("%1: %2 new IDs within the hour; more are refused for a while")
                    .arg(c.peerText())
                    .arg(m_config.newIdsPerAddressPerHour));
            [[fallthrough]];
        case AddressBuckets::Took:
            s.newId = m_ids.issueId();
            break;
        case AddressBuckets::NoneLeft:
            ++m_refused;
            if (m_refusalLines.allows(c.peer, nowMs()))
                Log::warning(QStringLiteral("%1: new ID refused: the address has had its new IDs")
                                 .arg(c.peerText()));
            break;
        }
        if (s.newId == 0) {
            turnAwayPalClient(c);
            return;
        }
        ++m_idsIssued;
        Log::info(QStringLiteral("new ID %1 for %2").arg(s.newId).arg(c.peerText()));
    }
    m_loop->send(c, Pal::build(Pal::NewId{s.newId}));
}

void DirectoryServer::turnAwayPalClient(NetLoop::Connection &c)
{
    if (m_config.palMove) m_loop->send(c, Pal::build(*m_config.palMove));
    m_loop->closeAfterSending(c);
}

void DirectoryServer::connectionClosed(NetLoop::Connection &c)
{
    if (!c.state) return;
    OnlineUser &user = static_cast<Session &>(*c.state).user;
    if (user.online()) Log::info(described("logout", c, user));
    m_presence.remove(&user);
}

QByteArray DirectoryServer::refusal(NetLoop::Channel channel)
{
    return channel == NetLoop::DirectoryChannel ? m_tooMany : QByteArray();
}

void DirectoryServer::logSummary()
{
    const auto [connectionsRefused, connectionLinesLeftOut] = m_loop->takeRefusals();
    Log::info(QStringLiteral("summary: %1 online in the directory (%2 listed), %3 on the pal "
                             "server, %4 connections; in the last %5 s: %6 logins, %7 refused, "
                             "%8 new IDs, %9 connections refused, %10 lines left out")
                  .arg(m_presence.directoryUsers())
                  .arg(m_presence.listedUsers())
                  .arg(m_presence.palUsers())
                  .arg(m_loop->connections())
                  .arg(m_config.summarySeconds)
                  .arg(m_logins)
                  .arg(m_refused)
                  .arg(m_idsIssued)
                  .arg(connectionsRefused)
                  .arg(connectionLinesLeftOut + m_refusalLines.takeLeftOut()));
    m_logins = m_refused = m_idsIssued = 0;
}
