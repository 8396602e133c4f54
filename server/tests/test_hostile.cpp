// Clients that do not play by the rules, and what the server does about them.
#include "harness.h"

#include "protocol/directory.h"
#include "protocol/fields.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <sys/socket.h>

namespace
{

const QByteArray Welcome = "INT;Welcome to this OVELA directory.;";

bool loggedIn(Client &c, const QByteArray &login)
{
    return c.connected() && c.ask(login + "INT<ET>") == Welcome;
}

} // namespace

TEST(ServerHostile, OverlongLinesCloseJunkIsIgnored)
{
    TestServer server;
    ASSERT_TRUE(server.running()) << server.error().toStdString();

    // Ten megabytes without a terminator: the server hangs up long before the end.
    Client flood(server.directoryPort());
    EXPECT_FALSE(flood.send(QByteArray(10 * 1024 * 1024, 'A')));
    EXPECT_TRUE(flood.closedByServer());

    // Binary junk in lines, unknown commands and logins short of fields change nothing.
    Client junk(server.directoryPort());
    QByteArray bytes;
    QRandomGenerator random(7);
    for (int i = 0; i < 64; ++i) {
        for (int j = 0; j < 900; ++j)
            bytes += char(random.bounded(256));
        bytes += "<ET>";
    }
    bytes += "XYZ;1;2;<ET>LGN;1;Ann;<ET>LS1;<ET>\x00\xff<ET>";
    EXPECT_TRUE(junk.send(bytes));
    EXPECT_EQ(junk.ask("INT<ET>"), Welcome);

    Client other(server.directoryPort());
    EXPECT_TRUE(loggedIn(other, loginLine(-1, "Ann", "ann@x.org", "", "", 0, true, 2000)));
    EXPECT_EQ(other.ask("LS1<ET>"), "LS1;1;1;0;Ann;;127.0.0.1;;0;NO;NO;1;2000;");
}

TEST(ServerHostile, FieldBreakingCharactersNeverReachOtherClients)
{
    TestServer server;
    ASSERT_TRUE(server.running()) << server.error().toStdString();
    // Control characters (C0, DEL, C1), bytes that are not UTF-8, over-long texts, and a login
    // with more fields than there are.
    Client mal(server.directoryPort()), lory(server.directoryPort()), ann(server.directoryPort());
    const QString name = QStringLiteral("Mal\r\nlory\x01\x7f") + QChar(0x85) + QString(300, 'n');
    ASSERT_TRUE(loggedIn(
        mal, loginLine(-1, name, "m@x.org", "Here\tThere", QString(3000, 'c'), 0, true, 2004)));
    ASSERT_TRUE(loggedIn(lory, "LGN;-1;Lo;ry;l@x.org;\xff\xfe;0;YES;NO;2.5;YES;YES;NO;v1.2;2006;"
                               "a;b;<ET>"));
    ASSERT_TRUE(loggedIn(ann, loginLine(-1, "Ann", "ann@x.org", "", "", 0, true, 2000)));

    const auto list = ann.ask("LS1<ET>");
    ASSERT_TRUE(list);
    ASSERT_EQ(Fields::countFields(*list), 3 + 10 * 3) << list->toStdString();
    for (const char c : *list)
        EXPECT_GE(uchar(c), 0x20) << list->toStdString();
    const auto reply = Directory::parseReply(*list);
    const auto &users = std::get<Directory::UserList>(reply).users;
    ASSERT_EQ(users.size(), 3);
    for (const Directory::User &u : users) {
        EXPECT_EQ(u.address, "127.0.0.1") << "fields out of place: " << list->toStdString();
        EXPECT_LE(u.name.size(), 64);
        EXPECT_LE(u.comment.size(), 128);
        EXPECT_FALSE(u.name.contains(QChar(0x85)));
    }
    EXPECT_TRUE(users[0].name.startsWith("Mal  lory  ")) << users[0].name.toStdString();
    EXPECT_EQ(users[2].name, "Ann");
}

TEST(ServerHostile, ConnectionsPerAddressAndInAllAreLimited)
{
    struct Case {
        const char *what;
        int perLoopback, total, allowed;
    };
    for (const Case c : {Case{"per address", 3, 0, 3}, Case{"in all", 0, 2, 2}}) {
        SCOPED_TRACE(c.what);
        ServerConfig config;
        config.connectionsPerLoopback = c.perLoopback;
        config.connectionsTotal = c.total;
        TestServer server(config);
        ASSERT_TRUE(server.running()) << server.error().toStdString();
        std::vector<std::unique_ptr<Client>> clients;
        for (int i = 0; i < c.allowed; ++i) {
            clients.push_back(std::make_unique<Client>(server.directoryPort()));
            EXPECT_EQ(clients.back()->ask("INT<ET>"), Welcome);
        }
        Client refused(server.directoryPort());
        EXPECT_EQ(refused.line(), "BSY;Too many connections. Please try again later.;");
        EXPECT_TRUE(refused.closedByServer());
        Client palRefused(server.palPort()); // both ports count
        EXPECT_TRUE(palRefused.closedByServer());

        // One leaves: there is room again.
        clients.pop_back();
        bool room = false;
        for (int i = 0; i < 50 && !room; ++i) {
            Client again(server.directoryPort());
            room = again.ask("INT<ET>") == Welcome;
            if (!room) QThread::msleep(20);
        }
        EXPECT_TRUE(room);
    }
}

TEST(ServerHostile, ConnectionsWithoutALoginAreClosed)
{
    ServerConfig config;
    config.loginSeconds = 1;
    TestServer server(config);
    ASSERT_TRUE(server.running()) << server.error().toStdString();
    QElapsedTimer clock;
    clock.start();
    Client silent(server.directoryPort()), chatty(server.directoryPort()), pal(server.palPort());
    Client member(server.directoryPort());
    ASSERT_TRUE(loggedIn(member, loginLine(-1, "Ann", "ann@x.org", "", "", 0, true, 2000)));
    EXPECT_EQ(chatty.ask("INT<ET>"), Welcome); // talking is not logging in
    EXPECT_TRUE(pal.ask("RSN;<ET>").value_or("").startsWith("NSN;"));

    EXPECT_TRUE(silent.closedByServer(5000));
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_TRUE(chatty.closedByServer(5000));
    EXPECT_TRUE(pal.closedByServer(5000));
    QThread::msleep(300);
    EXPECT_EQ(member.ask("INT<ET>"), Welcome);
}

TEST(ServerHostile, AFloodingClientDoesNotStarveOthers)
{
    TestServer server;
    ASSERT_TRUE(server.running()) << server.error().toStdString();
    // Fifty listed users make each list about 3 KB.
    std::vector<std::unique_ptr<Client>> users;
    for (int i = 0; i < 50; ++i) {
        users.push_back(std::make_unique<Client>(server.directoryPort()));
        ASSERT_TRUE(
            loggedIn(*users.back(), loginLine(-1, QStringLiteral("User %1").arg(i), "u@x.org",
                                              "Somewhere", "A comment", 0, true, 2000)));
    }
    // The flood asks for the list as fast as it can and never reads; whoever else asks still
    // gets answers at once.
    Client flood(server.directoryPort()), polite(server.directoryPort());
    ASSERT_TRUE(loggedIn(flood, loginLine(-1, "Flood", "f@x.org", "", "", 0, false, 2000)));
    ASSERT_TRUE(loggedIn(polite, loginLine(-1, "Polite", "p@x.org", "", "", 0, false, 2000)));
    QByteArray requests;
    for (int i = 0; i < 1000; ++i)
        requests += "LS1<ET>";
    qint64 flooded = 0;
    for (int round = 0; round < 40; ++round) {
        for (;;) {
            const ssize_t n = ::send(flood.fd(), requests.constData(), size_t(requests.size()),
                                     MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n <= 0) break;
            flooded += n;
        }
        QElapsedTimer clock;
        clock.start();
        const auto list = polite.ask("LS1<ET>", 2000);
        ASSERT_TRUE(list && list->startsWith("LS1;52;50;"));
        EXPECT_LT(clock.elapsed(), 500);
    }
    // The flood filled every buffer on its way and was stopped there.
    EXPECT_GT(flooded, 7 * 1000);
}

TEST(ServerHostile, GuessingIdsIsSlowedDown)
{
    QTemporaryDir folder;
    const QString ini = writeConfig(folder, "[limits]\nfailed_logins_per_address_per_hour = 3\n");
    ASSERT_FALSE(ini.isEmpty());
    ServerConfig config;
    QString error;
    ASSERT_TRUE(loadConfig(ini, &config, &error)) << error.toStdString();
    TestServer server(config);
    ASSERT_TRUE(server.running()) << server.error().toStdString();
    const qint32 id = newId(server);
    ASSERT_NE(id, 0);

    // A guess repeated costs once; three different ones use up the address's failed logins,
    // and then even a good login from there is refused, on either port.
    const QList<qint32> guesses{id % 1000000 + 1, id % 1000000 + 1, (id + 1) % 1000000 + 1,
                                (id + 2) % 1000000 + 1};
    for (qint32 guess : guesses) {
        Client c(server.directoryPort());
        EXPECT_EQ(c.ask(loginLine(guess, "Guess", "", "", "", 0, false, 2000)),
                  "BSY;Login refused: this server never issued the user ID " +
                      QByteArray::number(guess) + ".;");
    }
    const QByteArray limited =
        "Login refused: too many failed logins from your address. Please try again later.;";
    Client dir(server.directoryPort()), pal(server.palPort());
    EXPECT_EQ(dir.ask(loginLine(id, "Me", "me@x.org", "", "", 0, false, 2000)), "BSY;" + limited);
    EXPECT_EQ(pal.ask(loginLine(id, "Me", "me@x.org", "", "", 3, false, 2000)), "MSG;" + limited);
}
