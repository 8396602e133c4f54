// The directory and the pal server: what each request is answered with.
//
// Directory (port 2010): a login ("LGN") puts the user online from the connection's address,
// listed or not, and is followed by the other servers ("VCL"), the notices ("MSG") and an offer
// of another directory ("RDM") that the configuration names; a full directory answers "BSY" and
// closes. "INT" gets the welcome text; after a login, "LS1" gets the list of users and "GEM" the
// user with an e-mail address.
//
// Pal server (port 2015): "RSN" gets a new ID ("NSN"), the same one again on the same
// connection; a login puts the user online for lookups; after it, "GEM" as on the directory.
// A full pal server, or one out of IDs for this address, moves the client to the configured
// other pal server ("BSY;host;port") or closes.
//
// "RCK" with a port (directory port, no login needed): the server connects back to the asking
// address on that port and answers whether the connection was taken ("RCK;port;YES|NO;"), so a
// user can learn whether calls reach them from outside; a few per address an hour.
//
// On both ports a login must carry an ID this server (or its database) handed out, or none
// (-1), and an e-mail address that is nobody's or the login's ID's: the first login with an ID
// claims its address. Any other login is refused ("BSY" with the reason on the directory, "MSG"
// with it on the pal server, then the connection closes), and counts against its address's
// failed logins; an address out of those is refused every login for a while.
//
// Anything else, junk included, is ignored: the line limit and the login time bound what it
// costs. A user is online until their connection closes.
//
// The database (IDs and addresses) is asked on a thread of its own: a login with an ID or an
// address, and a new ID, wait for its answer, and so do the requests the same client sent after
// them, while everyone else is served. Servers that share a PostgreSQL database share who is
// online too (sharedpresence.h).
//
// Each login, logout, refusal, new ID and limit reached is logged (log.h), and every so often a
// summary: who is online and what happened since the last one.
#pragma once

#include "databasethread.h"
#include "netloop.h"
#include "options.h"
#include "presence.h"
#include "ratelimit.h"
#include "reachprobe.h"

#include <QTimer>

#include <map>
#include <memory>
#include <optional>

class IdStore;
class SharedPresence;

class DirectoryServer : private NetLoop::Handler
{
public:
    explicit DirectoryServer(const ServerConfig &config);
    ~DirectoryServer() override;

    // Opens the database of the configuration, joins the servers sharing it (PostgreSQL), and
    // listens on both ports of the configuration (0: a free one each).
    bool start(QString *error);
    quint16 directoryPort() const { return m_loop->port(NetLoop::DirectoryChannel); }
    quint16 palPort() const { return m_loop->port(NetLoop::PalChannel); }
    const Presence &presence() const { return m_presence; }

private:
    struct Session;
    void lineReceived(NetLoop::Connection &c, const QByteArray &line) override;
    void connectionClosed(NetLoop::Connection &c) override;
    QByteArray refusal(NetLoop::Channel channel) override;

    struct LoginCheck; // what the database says of a login's ID and address
    void logIn(NetLoop::Connection &c, Session &s, const Directory::Login &login);
    void loginChecked(NetLoop::Connection &c, Session &s, const LoginCheck &check);
    void admit(NetLoop::Connection &c, Session &s);
    // The client is told why and goes.
    void refuse(NetLoop::Connection &c, const OnlineUser &user, const QString &why, bool theirs,
                bool again);
    void newId(NetLoop::Connection &c, Session &s);
    void turnAwayPalClient(NetLoop::Connection &c);
    void checkReach(NetLoop::Connection &c, qint16 port);
    // Runs `work` on the database's thread, holding the connection's later lines until
    // `done` has had the answer on this thread (not at all when the connection has gone).
    template <typename Answer>
    void askDatabase(NetLoop::Connection &c, std::function<Answer(IdStore &)> work,
                     std::function<void(NetLoop::Connection &, Session &, const Answer &)> done);
    // Everyone with this address but its owner goes offline, here and elsewhere.
    void takeOfflineAllBut(const QString &email, qint32 owner);
    void takeOffline(OnlineUser &user);
    // Other servers' users.
    void remoteAppeared(const QString &key, const OnlineUser &user);
    void remoteLeft(const QString &key);
    void remoteServerGone(const QString &server);
    void logSummary();

    ServerConfig m_config;
    DatabaseThread m_database;
    std::unique_ptr<IdStore> m_ids; // used on m_database's thread only
    Presence m_presence;
    std::map<QString, std::unique_ptr<OnlineUser>> m_remote; // by "server/connection"
    std::unique_ptr<SharedPresence> m_shared;                // with PostgreSQL
    QByteArray m_intro, m_afterLogin, m_busy, m_tooMany;
    AddressBuckets m_newIds, m_failedLogins, m_reachChecks;
    ReachProbes m_probes;
    QTimer m_summary;
    int m_logins = 0, m_refused = 0, m_idsIssued = 0; // since the last summary
    Log::Throttle m_refusalLines;                     // for refusals an address can repeat at will
    std::unique_ptr<NetLoop> m_loop;                  // last: its connections go before the rest
};
