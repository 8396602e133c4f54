// Issued IDs and e-mail owners in an SQL database.
#include "idstore.h"

#include "log.h"
#include "protocol/pal.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

#include <atomic>

namespace
{

QString defaultDatabasePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/ovela-directory/directory.db");
}

void warn(const QString &message)
{
    Log::error(message);
}

} // namespace

bool parseDatabaseUrl(const QString &url, DatabaseTarget *t, QString *error)
{
    *t = DatabaseTarget{};
    const QString scheme = url.section(QLatin1Char(':'), 0, 0).toLower();
    if (url.isEmpty() || !url.contains(QStringLiteral("://"))) {
        t->driver = QStringLiteral("QSQLITE");
        t->path = url.isEmpty() ? defaultDatabasePath() : url;
        return true;
    }
    const QUrl u(url, QUrl::StrictMode);
    if (!u.isValid()) {
        // Not repeated: it may hold a password.
        *error = QStringLiteral("the database URL is not valid");
        return false;
    }
    if (scheme == QLatin1String("sqlite")) {
        t->driver = QStringLiteral("QSQLITE");
        t->path = u.path();
        if (t->path.isEmpty()) {
            *error = QStringLiteral("the SQLite URL %1 names no file").arg(url);
            return false;
        }
        return true;
    }
    if (scheme == QLatin1String("postgresql") || scheme == QLatin1String("postgres")) {
        t->driver = QStringLiteral("QPSQL");
        t->host = u.host();
        t->port = u.port(-1);
        t->user = u.userName();
        t->password = u.password();
        t->name = u.path().mid(1);
        // libpq's options (sslmode=require, connect_timeout=5, ...), as Qt's driver takes them.
        QStringList options;
        for (const auto &[key, value] : QUrlQuery(u).queryItems(QUrl::FullyDecoded))
            options << key + QLatin1Char('=') + value;
        t->options = options.join(QLatin1Char(';'));
        if (t->name.isEmpty()) {
            *error = QStringLiteral("the PostgreSQL URL %1 names no database")
                         .arg(u.toString(QUrl::RemovePassword));
            return false;
        }
        return true;
    }
    *error = QStringLiteral("unknown database kind '%1' (postgresql:// or sqlite://)").arg(scheme);
    return false;
}

IdStore::IdStore()
{
    static std::atomic<int> stores{0};
    m_connection = QStringLiteral("ovela-directory-ids-%1").arg(++stores);
}

IdStore::~IdStore()
{
    close();
}

bool connectDatabase(const DatabaseTarget &t, const QString &connection, QString *error)
{
    if (!QSqlDatabase::isDriverAvailable(t.driver)) {
        *error = QStringLiteral("Qt's %1 database driver is not installed (Debian: %2)")
                     .arg(t.driver, t.driver == QLatin1String("QPSQL")
                                        ? QStringLiteral("libqt6sql6-psql")
                                        : QStringLiteral("libqt6sql6-sqlite"));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(t.driver, connection);
    if (t.driver == QLatin1String("QSQLITE")) {
        const QFileInfo file(t.path);
        if (!QDir().mkpath(file.absolutePath())) {
            *error = QStringLiteral("cannot create the folder %1").arg(file.absolutePath());
            return false;
        }
        db.setDatabaseName(file.absoluteFilePath());
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    } else {
        db.setHostName(t.host);
        if (t.port > 0) db.setPort(t.port);
        db.setUserName(t.user);
        db.setPassword(t.password);
        db.setDatabaseName(t.name);
        db.setConnectOptions(t.options);
    }
    if (!db.open()) {
        *error = QStringLiteral("cannot open the database: %1").arg(db.lastError().text());
        return false;
    }
    return true;
}

bool IdStore::open(const QString &url, QString *error)
{
    DatabaseTarget t;
    if (!parseDatabaseUrl(url, &t, error)) return false;
    close();
    if (!connectDatabase(t, m_connection, error)) return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // BIGINT seconds fit both engines; the primary keys are what make an ID, and an address's
    // owner, unique. Looked for first: PostgreSQL would report a table that exists as a notice
    // on stderr.
    const QStringList tables = db.tables();
    const std::pair<QString, QString> wanted[] = {
        {QStringLiteral("issued_ids"),
         QStringLiteral("id INTEGER PRIMARY KEY, issued_at BIGINT NOT NULL")},
        {QStringLiteral("email_owners"),
         QStringLiteral("email TEXT PRIMARY KEY, id INTEGER NOT NULL, bound_at BIGINT NOT NULL")},
    };
    QSqlQuery q(db);
    for (const auto &[table, columns] : wanted) {
        if (!tables.contains(table) &&
            !q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)").arg(table, columns))) {
            *error =
                QStringLiteral("cannot create the table %1: %2").arg(table, q.lastError().text());
            return false;
        }
    }
    return true;
}

void IdStore::close()
{
    if (!QSqlDatabase::contains(m_connection)) return;
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool IdStore::reconnect()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isValid()) return false;
    db.close();
    return db.open();
}

bool IdStore::exec(QSqlQuery &q, const QString &sql, const QVariantList &values)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (!db.isValid()) return false;
        if (!db.isOpen() && !reconnect()) continue;
        q = QSqlQuery(db);
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (q.exec()) return true;
        if (q.lastError().type() != QSqlError::ConnectionError) return false;
        reconnect();
    }
    return false;
}

qint32 IdStore::issueId()
{
    // Drawn from the whole range, so that an ID tells nothing of the others. A candidate taken
    // before, here or by another server meanwhile, fails its insert under the primary key and
    // the next is drawn; once that has happened often, the first free ID from a random place on
    // is taken (only when nearly every ID is gone).
    auto *random = QRandomGenerator::system();
    QSqlQuery q;
    for (int attempt = 0; attempt < 40; ++attempt) {
        qint32 candidate = random->bounded(Pal::FirstId, Pal::LastId + 1);
        if (attempt >= 32) {
            const QString firstGap = QStringLiteral(
                "SELECT a.id + 1 FROM issued_ids a WHERE a.id >= ? AND a.id < ? AND NOT EXISTS "
                "(SELECT 1 FROM issued_ids b WHERE b.id = a.id + 1) ORDER BY a.id LIMIT 1");
            const std::optional<bool> first = wasIssued(Pal::FirstId);
            if (!first) continue;
            if (!*first) {
                candidate = Pal::FirstId;
            } else if ((exec(q, firstGap, {candidate, Pal::LastId}) && q.next()) ||
                       (exec(q, firstGap, {Pal::FirstId, Pal::LastId}) && q.next())) {
                candidate = q.value(0).toInt();
            } else if (q.lastError().type() == QSqlError::NoError) {
                warn(QStringLiteral("every user ID has been handed out"));
                return 0;
            } else {
                continue;
            }
        }
        if (exec(q, QStringLiteral("INSERT INTO issued_ids (id, issued_at) VALUES (?, ?)"),
                 {candidate, QDateTime::currentSecsSinceEpoch()}))
            return candidate;
    }
    warn(QStringLiteral("no new ID could be stored: ") + q.lastError().text());
    return 0;
}

qint64 IdStore::issuedCount()
{
    QSqlQuery q;
    if (!exec(q, QStringLiteral("SELECT COUNT(*) FROM issued_ids")) || !q.next()) return -1;
    return q.value(0).toLongLong();
}

std::optional<bool> IdStore::wasIssued(qint32 id)
{
    QSqlQuery q;
    if (!exec(q, QStringLiteral("SELECT 1 FROM issued_ids WHERE id = ?"), {id})) return {};
    return q.next();
}

std::optional<qint32> IdStore::emailOwner(const QString &email)
{
    QSqlQuery q;
    if (!exec(q, QStringLiteral("SELECT id FROM email_owners WHERE email = ?"), {email})) return {};
    return q.next() ? q.value(0).toInt() : 0;
}

std::optional<qint32> IdStore::claimEmail(const QString &email, qint32 id)
{
    // An insert that fails because another server claimed the address meanwhile reads the
    // owner again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::optional<qint32> owner = emailOwner(email);
        if (!owner || *owner != 0) return owner;
        QSqlQuery q;
        if (exec(q,
                 QStringLiteral("INSERT INTO email_owners (email, id, bound_at) VALUES (?, ?, ?)"),
                 {email, id, QDateTime::currentSecsSinceEpoch()}))
            return id;
    }
    return {};
}

std::optional<qint32> IdStore::releaseEmail(const QString &email)
{
    const std::optional<qint32> owner = emailOwner(email);
    if (!owner || *owner == 0) return owner;
    QSqlQuery q;
    if (!exec(q, QStringLiteral("DELETE FROM email_owners WHERE email = ?"), {email})) return {};
    return owner;
}

std::optional<QList<IdStore::Binding>> IdStore::bindings()
{
    QSqlQuery q;
    if (!exec(q, QStringLiteral("SELECT email, id, bound_at FROM email_owners ORDER BY email")))
        return {};
    QList<Binding> all;
    while (q.next())
        all.append({q.value(0).toString(), q.value(1).toInt(), q.value(2).toLongLong()});
    return all;
}
