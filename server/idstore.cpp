// Issued IDs in an SQL database.
#include "idstore.h"

#include "protocol/pal.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

#include <atomic>
#include <cstdio>

namespace
{

QString defaultDatabasePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/ovela-directory/directory.db");
}

void warn(const QString &message)
{
    std::fprintf(stderr, "ovela-directory: %s\n", qPrintable(message));
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
        *error = QStringLiteral("the database URL %1 is not valid").arg(url);
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
            *error = QStringLiteral("the PostgreSQL URL %1 names no database").arg(url);
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

bool IdStore::open(const QString &url, QString *error)
{
    DatabaseTarget t;
    if (!parseDatabaseUrl(url, &t, error)) return false;
    if (!QSqlDatabase::isDriverAvailable(t.driver)) {
        *error = QStringLiteral("Qt's %1 database driver is not installed (Debian: %2)")
                     .arg(t.driver, t.driver == QLatin1String("QPSQL")
                                        ? QStringLiteral("libqt6sql6-psql")
                                        : QStringLiteral("libqt6sql6-sqlite"));
        return false;
    }
    close();
    QSqlDatabase db = QSqlDatabase::addDatabase(t.driver, m_connection);
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
    // BIGINT seconds fit both engines; the primary key is what makes an ID unique.
    // Looked for first: PostgreSQL would report a table that exists as a notice on stderr.
    QSqlQuery q(db);
    if (!db.tables().contains(QStringLiteral("issued_ids")) &&
        !q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS issued_ids ("
                               "id INTEGER PRIMARY KEY, issued_at BIGINT NOT NULL)"))) {
        *error = QStringLiteral("cannot create the table of IDs: %1").arg(q.lastError().text());
        return false;
    }
    m_next = 0;
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

qint32 IdStore::issueId()
{
    // The candidate after the highest ID so far. An insert that fails because another server
    // took the same ID meanwhile, or because the connection dropped, starts again from the
    // database.
    for (int attempt = 0; attempt < 5; ++attempt) {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (!db.isValid()) return 0;
        if (!db.isOpen() && !reconnect()) continue;
        QSqlQuery q(db);
        if (m_next == 0) {
            if (!q.exec(QStringLiteral("SELECT COALESCE(MAX(id), 0) FROM issued_ids")) ||
                !q.next()) {
                warn(QStringLiteral("reading the IDs failed: ") + q.lastError().text());
                reconnect();
                continue;
            }
            m_next = std::max<qint32>(Pal::FirstId, q.value(0).toInt() + 1);
        }
        if (m_next > Pal::LastId) {
            warn(QStringLiteral("every user ID has been handed out"));
            m_next = 0;
            return 0;
        }
        q.prepare(QStringLiteral("INSERT INTO issued_ids (id, issued_at) VALUES (?, ?)"));
        q.addBindValue(m_next);
        q.addBindValue(QDateTime::currentSecsSinceEpoch());
        if (q.exec()) return m_next++;
        if (q.lastError().type() == QSqlError::ConnectionError) reconnect();
        m_next = 0;
    }
    warn(QStringLiteral("no new ID could be stored: ") +
         QSqlDatabase::database(m_connection, false).lastError().text());
    return 0;
}

qint64 IdStore::issuedCount()
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM issued_ids")) || !q.next()) return -1;
    return q.value(0).toLongLong();
}
