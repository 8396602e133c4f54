// The server as other machines see it: the program runs in a network namespace of its own, and
// its clients come from another, joined to it by a veth pair, so that a client's link can be cut
// without a FIN and a client's address is not loopback. Needs root (ip netns); the namespaces go
// when the test ends, however it ends.
#include "harness.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace
{

const QByteArray Welcome = "INT;Welcome to this OVELA directory.;";
const char *const ServerAddress = "10.201.0.1";

bool ip(const QStringList &arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral("ip"), arguments);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Two namespaces: the server's (10.201.0.1, veth "vs") and the clients' (10.201.0.2, "vc"). A
// client in the server's own namespace stays up whatever happens to the veth pair.
struct Network {
    QString server, client;
    bool up = false;

    Network()
    {
        static std::atomic<int> count{0};
        const QString tag = QStringLiteral("%1-%2").arg(::getpid()).arg(++count);
        server = QStringLiteral("ovela-s-") + tag;
        client = QStringLiteral("ovela-c-") + tag;
        up = ip({"netns", "add", server}) && ip({"netns", "add", client}) &&
             ip({"-n", server, "link", "add", "vs", "type", "veth", "peer", "name", "vc", "netns",
                 client}) &&
             ip({"-n", server, "addr", "add", "10.201.0.1/24", "dev", "vs"}) &&
             ip({"-n", client, "addr", "add", "10.201.0.2/24", "dev", "vc"}) &&
             ip({"-n", server, "link", "set", "vs", "up"}) &&
             ip({"-n", server, "link", "set", "lo", "up"}) && // its own address goes through lo
             ip({"-n", client, "link", "set", "vc", "up"});
    }
    ~Network()
    {
        ip({"netns", "delete", server});
        ip({"netns", "delete", client});
    }

    // A TCP socket in the namespace, made by a thread that enters it.
    static int socketIn(const QString &name)
    {
        const int ns = ::open(qPrintable(QStringLiteral("/run/netns/") + name), O_RDONLY);
        int fd = -1;
        std::thread([&] {
            if (ns >= 0 && ::setns(ns, CLONE_NEWNET) == 0)
                fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        }).join();
        if (ns >= 0) ::close(ns);
        return fd;
    }
};

// The program in the server's namespace, on the default ports; false when it did not start.
bool startServer(QProcess &p, const Network &network, const QTemporaryDir &data,
                 const QByteArray &ini)
{
    QFile file(data.filePath("server.ini"));
    if (!file.open(QIODevice::WriteOnly) || file.write(ini) != ini.size()) return false;
    file.close();
    p.start(QStringLiteral("ip"),
            {"netns", "exec", network.server, QStringLiteral(OVELA_DIRECTORY_PROGRAM), "--config",
             file.fileName(), "--database", data.filePath("ids.db")});
    return p.waitForReadyRead(10000) && p.readLine().contains("listening");
}

const char *const NeedsRoot =
    "this test needs root: it makes network namespaces (ip netns) and a veth pair";

} // namespace

TEST(ServerNetwork, VanishedClientLeavesTheList)
{
    ASSERT_EQ(::geteuid(), 0u) << NeedsRoot;
    Network network;
    ASSERT_TRUE(network.up) << "cannot set up the network namespaces";
    QTemporaryDir data;
    QProcess p;
    // Dead after 2 s of silence and 2 unanswered probes a second apart.
    ASSERT_TRUE(startServer(p, network, data,
                            "[limits]\nkeepalive_idle_seconds = 2\nkeepalive_interval_seconds = "
                            "1\nkeepalive_probes = 2\n"))
        << p.readAllStandardError().toStdString();

    Client vic(2010, ServerAddress, Network::socketIn(network.client));
    Client stays(2010, ServerAddress, Network::socketIn(network.server));
    ASSERT_EQ(vic.ask(loginLine(-1, "Vic", "", "", "", 0, true, 2000) + "INT<ET>"), Welcome);
    ASSERT_EQ(stays.ask(loginLine(-1, "Sue", "", "", "", 0, true, 2000) + "INT<ET>"), Welcome);

    // Vic's machine goes away: no FIN, no RST, nothing more from it.
    ASSERT_TRUE(ip({"-n", network.client, "link", "set", "vc", "down"}));
    QElapsedTimer cut;
    cut.start();
    QByteArray log;
    EXPECT_TRUE(waitForLog(p, log, "info: directory logout: 10.201.0.2 no ID \"Vic\"", 20000))
        << log.toStdString();
    EXPECT_LT(cut.elapsed(), 10000);
    // Sue, idle all along but answering the probes, is still there.
    EXPECT_EQ(stays.ask("LS1<ET>"), "LS1;1;1;0;Sue;;10.201.0.1;;0;NO;NO;1;2000;");
    p.terminate();
    EXPECT_TRUE(p.waitForFinished(5000));
}

TEST(ServerNetwork, AnAddressHas256ConnectionsByDefault)
{
    ASSERT_EQ(::geteuid(), 0u) << NeedsRoot;
    Network network;
    ASSERT_TRUE(network.up) << "cannot set up the network namespaces";
    QTemporaryDir data;
    QProcess p;
    ASSERT_TRUE(startServer(p, network, data, "")) << p.readAllStandardError().toStdString();

    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 256; ++i) {
        clients.push_back(
            std::make_unique<Client>(2010, ServerAddress, Network::socketIn(network.client)));
        ASSERT_EQ(clients.back()->ask("INT<ET>"), Welcome) << "connection " << i + 1;
    }
    // Both ports count. The address is logged once, not once a connection.
    for (const quint16 port : {2010, 2015, 2015}) {
        Client refused(port, ServerAddress, Network::socketIn(network.client));
        EXPECT_TRUE(refused.closedByServer()) << port;
    }
    QByteArray log;
    const QByteArray line =
        "warning: connection from 10.201.0.2 refused: 256 connections from there\n";
    EXPECT_TRUE(waitForLog(p, log, line, 5000)) << log.toStdString();
    p.terminate();
    EXPECT_TRUE(p.waitForFinished(5000));
    log += p.readAllStandardError();
    EXPECT_EQ(log.count(line), 1) << log.toStdString();
}
