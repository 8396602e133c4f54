// Servers on PostgreSQL (through with-postgres.sh): a stalled database holds up only the logins
// waiting for it, and servers sharing one database share who is online.
#include "harness.h"
#include "idstore.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>

namespace
{

QString postgresUrl()
{
    return qEnvironmentVariable("OVELA_TEST_POSTGRES_URL");
}

#define NEED_POSTGRES()                                                                            \
    if (postgresUrl().isEmpty())                                                                   \
    GTEST_SKIP() << "OVELA_TEST_POSTGRES_URL is not set; run this test through "                   \
                    "server/tests/with-postgres.sh to have a PostgreSQL server"

// Milliseconds until `done` holds, checked every 10 ms; -1 when it did not within `ms`.
qint64 msUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (done()) return t.elapsed();
        QThread::msleep(10);
    }
    return -1;
}

bool lists(Client &c, const QByteArray &name)
{
    const auto list = c.ask("LS1<ET>");
    return list && list->contains(";" + name + ";");
}

bool finds(Client &c, const QString &email)
{
    const auto answer = c.ask("GEM;" + email.toUtf8() + ";<ET>");
    return answer && !answer->contains(";0.0.0.0;");
}

} // namespace

TEST(ServerPostgres, AStalledDatabaseHoldsUpOnlyTheLoginsWaitingForIt)
{
    NEED_POSTGRES();
    TestServer server({}, postgresUrl());
    ASSERT_TRUE(server.running()) << server.error().toStdString();
    const qint32 anaId = newId(server), boId = newId(server);
    const QString ana = QStringLiteral("ana%1@x.org").arg(anaId);
    Client anaClient(server.directoryPort());
    ASSERT_TRUE(anaClient.ask(loginLine(anaId, "Ana", ana, "", "", 0, true, 2000) + "INT<ET>"));

    // Another connection holds the tables for three seconds.
    DatabaseTarget target;
    QString error;
    ASSERT_TRUE(parseDatabaseUrl(postgresUrl(), &target, &error));
    ASSERT_TRUE(connectDatabase(target, "stall", &error)) << error.toStdString();
    {
        QSqlQuery q(QSqlDatabase::database("stall"));
        ASSERT_TRUE(q.exec("BEGIN"));
        ASSERT_TRUE(q.exec("LOCK TABLE issued_ids, email_owners IN ACCESS EXCLUSIVE MODE"));
        QElapsedTimer stalled;
        stalled.start();

        // A login with an ID, the list asked for right behind it, and a new ID wait...
        Client bo(server.directoryPort()), pal(server.palPort());
        ASSERT_TRUE(bo.send(loginLine(boId, "Bo", "", "", "", 0, true, 2000) + "LS1<ET>"));
        ASSERT_TRUE(pal.send("RSN;<ET>"));
        // ...while those in are answered at once.
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer asked;
            asked.start();
            EXPECT_TRUE(lists(anaClient, "Ana"));
            EXPECT_TRUE(finds(anaClient, ana));
            EXPECT_LT(asked.elapsed(), 200);
        }
        EXPECT_FALSE(bo.line(100));
        EXPECT_FALSE(pal.line(100));
        QThread::msleep(std::max<qint64>(0, 3000 - stalled.elapsed()));
        ASSERT_TRUE(q.exec("COMMIT"));

        const auto list = bo.line(5000);
        ASSERT_TRUE(list);
        EXPECT_TRUE(list->startsWith("LS1;") && list->contains(";Bo;") && list->contains(";Ana;"))
            << list->toStdString();
        const auto id = pal.line(5000);
        EXPECT_TRUE(id && id->startsWith("NSN;"));
    }
    QSqlDatabase::removeDatabase("stall");
}

TEST(ServerPostgres, ServersOnOneDatabaseShareWhoIsOnlineAndForgetADeadOne)
{
    NEED_POSTGRES();
    QTemporaryDir data;
    const QString ini = writeConfig(data, "[server]\ndatabase = " + postgresUrl().toUtf8() +
                                              "\n[cluster]\nserver_timeout_seconds = 3\n");
    QProcess servers[3];
    quint16 ports[3] = {};
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(startServer(servers[i], &ports[i], {"--config", ini}, data.path()))
            << servers[i].readAllStandardError().toStdString();
    auto directory = [&](int i) { return ports[i]; };
    auto palPort = [&](int i) { return quint16(ports[i] + 1); };

    // A watcher on each server; Eve comes in on C with Ana's address before Ana claims it.
    std::unique_ptr<Client> watchers[3];
    for (int i = 0; i < 3; ++i) {
        watchers[i] = std::make_unique<Client>(directory(i));
        ASSERT_TRUE(
            watchers[i]->ask(loginLine(-1, "Watcher", "", "", "", 0, false, 2000) + "INT<ET>"));
    }
    const qint32 anaId = newId(palPort(0)), boId = newId(palPort(2));
    ASSERT_TRUE(anaId && boId);
    const QString ana = QStringLiteral("ana%1@x.org").arg(anaId);
    Client eve(directory(2));
    ASSERT_TRUE(eve.ask(loginLine(-1, "Eve", ana, "", "", 0, true, 2000) + "INT<ET>"));
    EXPECT_GE(msUntil([&] { return lists(*watchers[0], "Eve"); }, 2000), 0);

    // Ana logs in on A: B lists her and finds her address within a second, on both ports; C
    // lists her, and Eve goes offline everywhere.
    auto anaClient = std::make_unique<Client>(directory(0));
    ASSERT_TRUE(anaClient->ask(loginLine(anaId, "Ana", ana, "", "", 0, true, 2000) + "INT<ET>"));
    Client palWatcher(palPort(1));
    ASSERT_TRUE(palWatcher.send(loginLine(-1, "Pal", "", "", "", 0, false, 2000)));
    const qint64 seen = msUntil([&] { return lists(*watchers[1], "Ana"); }, 3000);
    EXPECT_GE(seen, 0);
    EXPECT_LT(seen, 1000);
    EXPECT_TRUE(finds(*watchers[1], ana));
    EXPECT_TRUE(finds(palWatcher, ana));
    EXPECT_GE(msUntil([&] { return lists(*watchers[2], "Ana"); }, 1000), 0);
    for (auto &w : watchers)
        EXPECT_GE(msUntil([&] { return !lists(*w, "Eve"); }, 1000), 0);

    // Ana leaves: gone from B, for the pal watcher too, within a second.
    anaClient.reset();
    const qint64 left = msUntil([&] { return !finds(palWatcher, ana); }, 3000);
    EXPECT_GE(left, 0);
    EXPECT_LT(left, 1000);
    EXPECT_FALSE(lists(*watchers[1], "Ana"));

    // Bo is on C when C is killed: A and B drop him once C is not heard of for its time-out.
    Client bo(directory(2));
    ASSERT_TRUE(bo.ask(loginLine(boId, "Bo", "", "", "", 0, true, 2000) + "INT<ET>"));
    EXPECT_GE(msUntil([&] { return lists(*watchers[0], "Bo"); }, 2000), 0);
    servers[2].kill();
    servers[2].waitForFinished();
    const qint64 forgotten =
        msUntil([&] { return !lists(*watchers[0], "Bo") && !lists(*watchers[1], "Bo"); }, 15000);
    EXPECT_GE(forgotten, 0);
    EXPECT_LT(forgotten, 3000 + 3000); // the time-out, and a heartbeat's interval or two
    for (int i = 0; i < 2; ++i) {
        servers[i].terminate();
        EXPECT_TRUE(servers[i].waitForFinished(5000));
    }
}
