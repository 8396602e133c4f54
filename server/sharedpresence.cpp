// Presence shared through PostgreSQL.
#include "sharedpresence.h"

#include "log.h"
#include "protocol/pal.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTimer>

#include <unistd.h>

namespace
{

const QString Channel = QStringLiteral("ovela_presence");
// Seconds since 1970 by the database's clock, the one clock every server shares.
const QString Now = QStringLiteral("EXTRACT(EPOCH FROM clock_timestamp())::float8");

// Notifications: "+ server connection record", "- server connection", "x server", tab-separated.
QString keyOf(const QString &server, const QString &connection)
{
    return server + QLatin1Char('/') + connection;
}

} // namespace

QByteArray SharedPresence::recordOf(const OnlineUser &u)
{
    const Directory::User &e = u.entry;
    QJsonObject o{{"pal", u.side == OnlineUser::PalSide},
                  {"id", e.id},
                  {"name", e.name},
                  {"location", e.location},
                  {"address", e.address},
                  {"comment", e.comment},
                  {"video", e.video},
                  {"audio", e.audio},
                  {"port", e.port},
                  {"email", u.email},
                  {"listed", u.listed},
                  {"revision", u.revision}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<OnlineUser> SharedPresence::userOf(const QByteArray &record)
{
    const QJsonDocument doc = QJsonDocument::fromJson(record);
    if (!doc.isObject()) return {};
    const QJsonObject o = doc.object();
    Directory::Login login;
    login.id = o.value("id").toInt();
    login.name = o.value("name").toString();
    login.location = o.value("location").toString();
    login.comment = o.value("comment").toString();
    login.email = o.value("email").toString();
    login.listed = o.value("listed").toBool();
    login.video = o.value("video").toBool();
    login.audio = o.value("audio").toBool();
    const int port = o.value("port").toInt();
    login.basePort = port > 0 && port <= 32767 ? qint16(port) : 0;
    login.revision = o.value("revision").toString();
    const QString address = Presence::clean(o.value("address").toString(), 15);
    if (address.isEmpty()) return {};
    OnlineUser u = Presence::fromLogin(
        login, o.value("pal").toBool() ? OnlineUser::PalSide : OnlineUser::DirectorySide, address);
    u.here = false;
    return u;
}

class SharedPresence::Link
{
public:
    Link(SharedPresence &owner, int timeoutSeconds)
        : m_owner(owner), m_me(owner.m_name), m_timeout(timeoutSeconds),
          m_connection(QStringLiteral("ovela-directory-presence-") + owner.m_name)
    {
    }

    bool open(const DatabaseTarget &target, QString *error)
    {
        m_target = target;
        if (!connect(error)) return false;
        const QStringList tables = db().tables();
        // Unlogged: presence need not outlive a crash of the database, and is written often.
        const std::pair<QString, QString> wanted[] = {
            {QStringLiteral("directory_servers"),
             QStringLiteral("server TEXT PRIMARY KEY, seen_at DOUBLE PRECISION NOT NULL")},
            {QStringLiteral("online_users"),
             QStringLiteral("server TEXT NOT NULL, connection BIGINT NOT NULL, record TEXT NOT "
                            "NULL, PRIMARY KEY (server, connection)")},
        };
        QSqlQuery q(db());
        for (const auto &[table, columns] : wanted) {
            if (!tables.contains(table) &&
                !q.exec(QStringLiteral("CREATE UNLOGGED TABLE IF NOT EXISTS %1 (%2)")
                            .arg(table, columns))) {
                *error = QStringLiteral("cannot create the table %1: %2")
                             .arg(table, q.lastError().text());
                return false;
            }
        }
        if (!join()) {
            *error = QStringLiteral("cannot share presence through the database: ") +
                     db().lastError().text();
            return false;
        }
        auto *timer = new QTimer(m_owner.m_thread.context());
        QObject::connect(timer, &QTimer::timeout, [this] { beat(); });
        timer->start(std::max(1000, m_timeout * 1000 / 5));
        m_joined = true;
        return true;
    }

    void publish(quint64 connection, const QByteArray &record)
    {
        m_mine.insert(connection, record);
        if (!m_broken) send(connection, record);
    }

    void withdraw(quint64 connection)
    {
        if (!m_mine.remove(connection) || m_broken) return;
        QSqlQuery q(db());
        run(q,
            QStringLiteral("WITH gone AS (DELETE FROM online_users WHERE server = ? AND "
                           "connection = ? RETURNING 1) SELECT pg_notify(?, ?) FROM gone"),
            {m_me, connection, Channel, QStringLiteral("-\t%1\t%2").arg(m_me).arg(connection)});
    }

    void leave()
    {
        if (m_joined && !m_broken) {
            QSqlQuery q(db());
            run(q, QStringLiteral("DELETE FROM online_users WHERE server = ?"), {m_me}) &&
                run(q, QStringLiteral("DELETE FROM directory_servers WHERE server = ?"), {m_me}) &&
                run(q, QStringLiteral("SELECT pg_notify(?, ?)"),
                    {Channel, QStringLiteral("x\t") + m_me});
        }
        disconnect();
    }

private:
    QSqlDatabase db() const { return QSqlDatabase::database(m_connection, false); }

    // A connection of its own that hands its notifications on.
    bool connect(QString *error)
    {
        if (!connectDatabase(m_target, m_connection, error)) return false;
        QObject::connect(db().driver(), &QSqlDriver::notification, m_owner.m_thread.context(),
                         [this](const QString &, QSqlDriver::NotificationSource source,
                                const QVariant &payload) {
                             if (source != QSqlDriver::SelfSource) notified(payload.toString());
                         });
        return true;
    }

    void disconnect()
    {
        if (!QSqlDatabase::contains(m_connection)) return;
        db().close();
        QSqlDatabase::removeDatabase(m_connection);
    }

    // Runs `sql`; a broken connection is noted and mended at the next beat.
    bool run(QSqlQuery &q, const QString &sql, const QVariantList &values = {})
    {
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (q.exec()) return true;
        if (!m_broken)
            Log::error(QStringLiteral("shared presence: the database failed (%1); trying again")
                           .arg(q.lastError().text()));
        m_broken = true;
        return false;
    }

    void send(quint64 connection, const QByteArray &record)
    {
        QSqlQuery q(db());
        run(q,
            QStringLiteral("WITH row AS (INSERT INTO online_users (server, connection, record) "
                           "VALUES (?, ?, ?) ON CONFLICT (server, connection) DO UPDATE SET "
                           "record = EXCLUDED.record RETURNING 1) SELECT pg_notify(?, ?) FROM row"),
            {m_me, connection, QString::fromUtf8(record), Channel,
             QStringLiteral("+\t%1\t%2\t").arg(m_me).arg(connection) + QString::fromUtf8(record)});
    }

    // Listens, tells this server and its users, and reads everyone else's.
    bool join()
    {
        m_broken = false;
        if (!db().driver()->subscribedToNotifications().contains(Channel) &&
            !db().driver()->subscribeToNotification(Channel))
            return false;
        QSqlQuery q(db());
        if (!run(q,
                 QStringLiteral("INSERT INTO directory_servers (server, seen_at) VALUES (?, %1) "
                                "ON CONFLICT (server) DO UPDATE SET seen_at = EXCLUDED.seen_at")
                     .arg(Now),
                 {m_me}))
            return false;
        for (auto it = m_mine.cbegin(); it != m_mine.cend() && !m_broken; ++it)
            send(it.key(), it.value());
        if (m_broken ||
            !run(q,
                 QStringLiteral("SELECT server, connection, record FROM online_users WHERE "
                                "server <> ?"),
                 {m_me}))
            return false;
        QList<std::pair<QString, OnlineUser>> everyone;
        while (q.next())
            if (const auto user = userOf(q.value(2).toString().toUtf8()))
                everyone.append({keyOf(q.value(0).toString(), q.value(1).toString()), *user});
        reply([everyone](const Handlers &h) { h.replaced(everyone); });
        return true;
    }

    // Every fifth of the time-out: this server is alive; others not seen for the time-out
    // are taken out with their users.
    void beat()
    {
        if (m_broken) {
            disconnect(); // and a new one, listening afresh
            QString error;
            if (!connect(&error) || !join()) {
                m_broken = true;
                return;
            }
            Log::info(QStringLiteral("shared presence: the database is back"));
        }
        QSqlQuery q(db());
        if (!run(q,
                 QStringLiteral("UPDATE directory_servers SET seen_at = %1 WHERE server = ?")
                     .arg(Now),
                 {m_me}))
            return;
        if (q.numRowsAffected() == 0) { // taken for dead while we stalled: tell everything again
            Log::warning(QStringLiteral("shared presence: this server was taken for dead; "
                                        "telling its users again"));
            if (!join()) return;
        }
        if (!run(q, QStringLiteral("DELETE FROM directory_servers WHERE seen_at < %1 - ?").arg(Now),
                 {m_timeout}) ||
            !run(q, QStringLiteral("DELETE FROM online_users o WHERE NOT EXISTS (SELECT 1 FROM "
                                   "directory_servers s WHERE s.server = o.server) RETURNING "
                                   "o.server")))
            return;
        QHash<QString, int> dead;
        while (q.next())
            ++dead[q.value(0).toString()];
        for (auto it = dead.cbegin(); it != dead.cend(); ++it) {
            run(q, QStringLiteral("SELECT pg_notify(?, ?)"),
                {Channel, QStringLiteral("x\t") + it.key()});
            Log::warning(QStringLiteral("shared presence: server %1 was not seen for %2 s; its "
                                        "%3 users left the lists")
                             .arg(it.key())
                             .arg(m_timeout)
                             .arg(it.value()));
            gone(it.key());
        }
    }

    void notified(const QString &payload)
    {
        const QStringList f = payload.split(QLatin1Char('\t'));
        if (f.size() < 2 || f[1] == m_me) return;
        if (f[0] == QLatin1String("+") && f.size() >= 4) {
            const QString key = keyOf(f[1], f[2]);
            if (const auto user = userOf(f.mid(3).join(QLatin1Char('\t')).toUtf8()))
                reply([key, user = *user](const Handlers &h) { h.appeared(key, user); });
        } else if (f[0] == QLatin1String("-") && f.size() == 3) {
            reply([key = keyOf(f[1], f[2])](const Handlers &h) { h.left(key); });
        } else if (f[0] == QLatin1String("x")) {
            gone(f[1]);
        }
    }

    void gone(const QString &server)
    {
        reply([server](const Handlers &h) { h.serverGone(server); });
    }

    void reply(std::function<void(const Handlers &)> work)
    {
        m_owner.m_thread.reply([this, work = std::move(work)] { work(m_owner.m_handlers); });
    }

    SharedPresence &m_owner;
    const QString m_me;
    const int m_timeout;
    const QString m_connection;
    DatabaseTarget m_target;
    QHash<quint64, QByteArray> m_mine; // this server's users, to tell again after a break
    bool m_joined = false;
    bool m_broken = false;
};

SharedPresence::SharedPresence(Handlers handlers, int timeoutSeconds)
    : m_handlers(std::move(handlers)),
      m_name(QStringLiteral("%1:%2:%3")
                 .arg(QSysInfo::machineHostName())
                 .arg(::getpid())
                 .arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'))),
      m_thread(QStringLiteral("presence")), m_link(std::make_unique<Link>(*this, timeoutSeconds))
{
}

SharedPresence::~SharedPresence()
{
    m_thread.stop([this] { m_link->leave(); });
}

bool SharedPresence::start(const DatabaseTarget &target, QString *error)
{
    bool ok = false;
    m_thread.call([&] { ok = m_link->open(target, error); });
    return ok;
}

void SharedPresence::publish(quint64 connection, const OnlineUser &user)
{
    m_thread.post(
        [this, connection, record = recordOf(user)] { m_link->publish(connection, record); });
}

void SharedPresence::withdraw(quint64 connection)
{
    m_thread.post([this, connection] { m_link->withdraw(connection); });
}
