// The directory and the pal server.
#include "directoryserver.h"

#include "idstore.h"
#include "log.h"
#include "protocol/pal.h"
#include "sharedpresence.h"

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

// Reach checks: how long a connection back may take, and how many may be under way at once.
constexpr int ReachSeconds = 5, MaxProbes = 256;

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

DirectoryServer::DirectoryServer(const ServerConfig &config)
    : m_config(config), m_database(QStringLiteral("database")),
      m_newIds(config.newIdsPerAddressPerHour),
      m_failedLogins(config.failedLoginsPerAddressPerHour),
      m_reachChecks(config.reachChecksPerAddressPerHour), m_probes(ReachSeconds * 1000, MaxProbes),
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

DirectoryServer::~DirectoryServer()
{
    m_shared.reset(); // this server's users leave the others' lists
    m_database.stop([this] { m_ids.reset(); });
}

bool DirectoryServer::start(QString *error)
{
    DatabaseTarget target;
    if (!parseDatabaseUrl(m_config.database, &target, error)) return false;
    bool opened = false;
    m_database.call([&] {
        m_ids = std::make_unique<IdStore>();
        opened = m_ids->open(m_config.database, error);
    });
    if (!opened) return false;
    if (target.driver == QLatin1String("QPSQL") && m_config.sharePresence) {
        SharedPresence::Handlers handlers;
        handlers.appeared = [this](const QString &key, const OnlineUser &user) {
            remoteAppeared(key, user);
        };
        handlers.left = [this](const QString &key) { remoteLeft(key); };
        handlers.serverGone = [this](const QString &server) { remoteServerGone(server); };
        handlers.replaced = [this](const QList<std::pair<QString, OnlineUser>> &users) {
            for (const auto &[key, user] : m_remote)
                m_presence.remove(user.get());
            m_remote.clear();
            for (const auto &[key, user] : users)
                remoteAppeared(key, user);
        };
        m_shared = std::make_unique<SharedPresence>(handlers, m_config.serverTimeoutSeconds);
        if (!m_shared->start(target, error)) {
            m_shared.reset();
            return false;
        }
        Log::info(QStringLiteral("sharing who is online with the other servers on the database "
                                 "as %1")
                      .arg(m_shared->name()));
    }
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
        logIn(c, s, *login);
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
    } else if (const auto *check = std::get_if<Directory::ReachCheck>(&request)) {
        checkReach(c, check->port);
    }
}

void DirectoryServer::checkReach(NetLoop::Connection &c, qint16 port)
{
    if (port <= 0) return;
    if (m_reachChecks.take(c.peer, nowMs()) == AddressBuckets::NoneLeft) {
        ++m_refused;
        if (m_refusalLines.allows(c.peer, nowMs()))
            Log::warning(QStringLiteral("%1: reach check refused: the address has had its checks")
                             .arg(c.peerText()));
        return; // unanswered, as by a server that does not know the request
    }
    const bool started = m_probes.probe(
        c.peer, quint16(port),
        [this, fd = c.fd, serial = c.serial, address = c.peerText(), port](bool reached) {
            Log::info(
                QStringLiteral("reach check: %1 port %2 %3")
                    .arg(address)
                    .arg(port)
                    .arg(reached ? QStringLiteral("reached") : QStringLiteral("not reached")));
            if (NetLoop::Connection *c = m_loop->find(fd, serial))
                m_loop->sendNow(*c, Directory::build(Directory::ReachAnswer{port, reached}));
        });
    if (!started)
        Log::warning(QStringLiteral("%1: reach check not made: %2 under way")
                         .arg(c.peerText())
                         .arg(MaxProbes));
}

template <typename Answer>
void DirectoryServer::askDatabase(
    NetLoop::Connection &c, std::function<Answer(IdStore &)> work,
    std::function<void(NetLoop::Connection &, Session &, const Answer &)> done)
{
    m_loop->hold(c);
    m_database.post(
        [this, fd = c.fd, serial = c.serial, work = std::move(work), done = std::move(done)] {
            Answer answer = work(*m_ids);
            m_database.reply([this, fd, serial, done, answer] {
                NetLoop::Connection *c = m_loop->find(fd, serial);
                if (!c) return; // gone meanwhile
                done(*c, static_cast<Session &>(*c->state), answer);
                m_loop->resume(*c);
            });
        });
}

struct DirectoryServer::LoginCheck {
    std::optional<bool> issued;  // nothing: the database failed
    std::optional<qint32> owner; // of the address, after the login claimed it; 0: nobody's
};

void DirectoryServer::logIn(NetLoop::Connection &c, Session &s, const Directory::Login &login)
{
    const bool pal = c.channel == NetLoop::PalChannel;
    const int most = pal ? m_config.maxPalUsers : m_config.maxUsers;
    if (s.user.online()) {
        takeOffline(s.user); // a second login replaces the first
    } else if (most > 0 &&
               (pal ? m_presence.palUsersHere() : m_presence.directoryUsersHere()) >= most) {
        ++m_refused;
        Log::warning(QStringLiteral("%1 full (%2 users): %3 turned away")
                         .arg(pal ? QStringLiteral("pal server") : QStringLiteral("directory"))
                         .arg(most)
                         .arg(c.peerText()));
        if (pal) {
            turnAwayPalClient(c);
        } else {
            m_loop->send(c, m_busy);
            m_loop->closeAfterSending(c);
        }
        return;
    }
    s.user = Presence::fromLogin(login, pal ? OnlineUser::PalSide : OnlineUser::DirectorySide,
                                 c.peerText());
    if (!m_failedLogins.allows(c.peer, nowMs())) {
        refuse(c, s.user,
               QStringLiteral("too many failed logins from your address. Please try again later."),
               false, true);
        return;
    }
    const qint32 id = s.user.entry.id; // 0: the login has none
    const QString email = s.user.email;
    if (id == 0 && email.isEmpty()) {
        admit(c, s);
        return;
    }
    // The first login with an ID claims its address; one without only looks.
    askDatabase<LoginCheck>(
        c,
        [id, email](IdStore &ids) {
            LoginCheck check;
            check.issued = id ? ids.wasIssued(id) : std::optional<bool>(true);
            if (check.issued.value_or(false) && !email.isEmpty())
                check.owner = id ? ids.claimEmail(email, id) : ids.emailOwner(email);
            return check;
        },
        [this](NetLoop::Connection &c, Session &s, const LoginCheck &check) {
            loginChecked(c, s, check);
        });
}

void DirectoryServer::loginChecked(NetLoop::Connection &c, Session &s, const LoginCheck &check)
{
    const QString cannotCheck =
        QStringLiteral("the server cannot check logins just now. Please try again later.");
    const qint32 id = s.user.entry.id;
    if (!check.issued) {
        refuse(c, s.user, cannotCheck, false, false);
    } else if (!*check.issued) {
        refuse(c, s.user, QStringLiteral("this server never issued the user ID %1.").arg(id), true,
               false);
    } else if (!s.user.email.isEmpty() && !check.owner) {
        refuse(c, s.user, cannotCheck, false, false);
    } else if (check.owner.value_or(0) != 0 && *check.owner != id) {
        refuse(c, s.user, QStringLiteral("this e-mail address is registered to another user."),
               true, false);
    } else {
        // Whoever came in with the address before it was claimed goes.
        if (check.owner.value_or(0) != 0) takeOfflineAllBut(s.user.email, *check.owner);
        admit(c, s);
    }
}

void DirectoryServer::admit(NetLoop::Connection &c, Session &s)
{
    const bool pal = c.channel == NetLoop::PalChannel;
    s.user.connection = c.serial;
    m_presence.add(&s.user);
    m_loop->setLoggedIn(c);
    ++m_logins;
    Log::info(described("login", c, s.user) + (pal             ? QString()
                                               : s.user.listed ? QStringLiteral(" listed")
                                                               : QStringLiteral(" unlisted")));
    if (m_shared) m_shared->publish(c.serial, s.user);
    if (!pal && !s.welcomed) m_loop->send(c, m_afterLogin);
    s.welcomed = s.welcomed || !pal;
}

void DirectoryServer::refuse(NetLoop::Connection &c, const OnlineUser &user, const QString &why,
                             bool theirs, bool again)
{
    const qint64 now = nowMs();
    const QString refusal = QStringLiteral("Login refused: ") + why;
    ++m_refused;
    if (!again || m_refusalLines.allows(c.peer, now))
        Log::warning(described("login refused", c, user) + QStringLiteral(": ") + refusal);
    if (theirs && m_failedLogins.take(c.peer, now, qHashMulti(0, user.entry.id, user.email) | 1) ==
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
}

void DirectoryServer::takeOfflineAllBut(const QString &email, qint32 owner)
{
    const QList<OnlineUser *> gone = m_presence.removeAllBut(email, owner);
    for (OnlineUser *u : gone)
        if (u->here && m_shared) m_shared->withdraw(u->connection);
    if (!gone.isEmpty())
        Log::info(QStringLiteral("%1 taken offline: <%2> belongs to ID %3")
                      .arg(gone.size() == 1 ? QStringLiteral("1 user")
                                            : QStringLiteral("%1 users").arg(gone.size()))
                      .arg(email)
                      .arg(owner));
}

void DirectoryServer::takeOffline(OnlineUser &user)
{
    if (!user.online()) return;
    m_presence.remove(&user);
    if (m_shared) m_shared->withdraw(user.connection);
}

void DirectoryServer::remoteAppeared(const QString &key, const OnlineUser &user)
{
    std::unique_ptr<OnlineUser> &slot = m_remote[key];
    if (slot) m_presence.remove(slot.get());
    slot = std::make_unique<OnlineUser>(user);
    m_presence.add(slot.get());
    // Its server let it in with that ID and address: the address is the ID's.
    if (user.entry.id != 0 && !user.email.isEmpty()) takeOfflineAllBut(user.email, user.entry.id);
}

void DirectoryServer::remoteLeft(const QString &key)
{
    const auto it = m_remote.find(key);
    if (it == m_remote.end()) return;
    m_presence.remove(it->second.get());
    m_remote.erase(it);
}

void DirectoryServer::remoteServerGone(const QString &server)
{
    const QString prefix = server + QLatin1Char('/');
    int users = 0;
    auto it = m_remote.lower_bound(prefix);
    while (it != m_remote.end() && it->first.startsWith(prefix)) {
        users += it->second->online();
        m_presence.remove(it->second.get());
        it = m_remote.erase(it);
    }
    Log::info(QStringLiteral("server %1 left; %2 of its users were online").arg(server).arg(users));
}

void DirectoryServer::newId(NetLoop::Connection &c, Session &s)
{
    if (s.newId != 0) { // the same one again
        m_loop->send(c, Pal::build(Pal::NewId{s.newId}));
        return;
    }
    switch (m_newIds.take(c.peer, nowMs())) {
    case AddressBuckets::TookTheLast:
        Log::warning(QStringLiteral("%1: %2 new IDs within the hour; more are refused for a while")
                         .arg(c.peerText())
                         .arg(m_config.newIdsPerAddressPerHour));
        break;
    case AddressBuckets::Took:
        break;
    case AddressBuckets::NoneLeft:
        ++m_refused;
        if (m_refusalLines.allows(c.peer, nowMs()))
            Log::warning(QStringLiteral("%1: new ID refused: the address has had its new IDs")
                             .arg(c.peerText()));
        turnAwayPalClient(c);
        return;
    }
    askDatabase<qint32>(
        c, [](IdStore &ids) { return ids.issueId(); },
        [this](NetLoop::Connection &c, Session &s, const qint32 &id) {
            if (id == 0) {
                turnAwayPalClient(c);
                return;
            }
            s.newId = id;
            ++m_idsIssued;
            Log::info(QStringLiteral("new ID %1 for %2").arg(id).arg(c.peerText()));
            m_loop->send(c, Pal::build(Pal::NewId{id}));
        });
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
    takeOffline(user);
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
                  .arg(connectionLinesLeftOut + m_refusalLines.takeLeftOut()) +
              (m_shared ? QStringLiteral("; here %1 in the directory, %2 on the pal server")
                              .arg(m_presence.directoryUsersHere())
                              .arg(m_presence.palUsersHere())
                        : QString()) +
              (m_database.pending() > 0
                   ? QStringLiteral("; %1 waiting for the database").arg(m_database.pending())
                   : QString()));
    m_logins = m_refused = m_idsIssued = 0;
}
