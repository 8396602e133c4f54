// The TCP endpoints against real loopback sockets: framing, numbering, addresses, errors and the
// bounds that keep a hostile peer from taking memory; and the in-memory transports behaving like
// them.
#include "platform/memorytransport.h"
#include "platform/tcplineclient.h"
#include "platform/tcplinelistener.h"
#include "protocol/linesplitter.h"
#include "testsupport.h"

#include <QDir>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace
{
// A free port of this test process.
quint16 freePort()
{
    static const quint16 port = freeBasePort();
    return port;
}

struct DaemonEvents {
    std::vector<int> connected, disconnected;
    std::vector<std::pair<QByteArray, bool>> data;
    QStringList hostsAtDisconnect;
    explicit DaemonEvents(TcpLineListener &d)
    {
        QObject::connect(&d, &TcpLineListener::connectionAccepted,
                         [this](int id) { connected.push_back(id); });
        QObject::connect(&d, &TcpLineListener::dataIn, [this](int, const QByteArray &t, bool e) {
            data.push_back({t, e});
        });
        QObject::connect(&d, &TcpLineListener::disconnected, [this, &d](int id) {
            disconnected.push_back(id);
            hostsAtDisconnect << d.remoteHost(id);
        });
    }
};
} // namespace

TEST(LineSplitter, LinesAcrossArrivalsAndASplitTerminator)
{
    LineSplitter s;
    s.setTerminator("<E>");
    EXPECT_TRUE(s.feed("KJP00003ab").empty());
    auto out = s.feed("c<");
    EXPECT_TRUE(out.empty());
    out = s.feed("E>TXT<E><E>tail");
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].text, "KJP00003abc");
    EXPECT_EQ(out[1].text, "TXT");
    EXPECT_EQ(out[2].text, "");
    EXPECT_TRUE(out[0].endOfLine && out[2].endOfLine);
    EXPECT_EQ(s.buffered(), 4);
}

TEST(LineSplitter, AnEndlessLineComesOutInFlaggedChunksAndMemoryStaysBounded)
{
    LineSplitter s(1000);
    s.setTerminator("<E>");
    const QByteArray junk(10 * 1000 + 7, 'x');
    qsizetype delivered = 0;
    for (qsizetype at = 0; at < junk.size(); at += 333) {
        for (const LinePiece &p : s.feed(junk.mid(at, 333))) {
            EXPECT_FALSE(p.endOfLine);
            delivered += p.text.size();
        }
        EXPECT_LE(s.buffered(), 1000 + 333);
    }
    auto out = s.feed("<");
    out = s.feed("E>next<E>");
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back().text, "next");
    EXPECT_TRUE(out.back().endOfLine);
    for (const LinePiece &p : out)
        if (!p.endOfLine)
            delivered += p.text.size();
        else if (p.text != "next")
            delivered += p.text.size();
    EXPECT_EQ(delivered, junk.size()) << "no byte is lost or invented";
}

TEST(LineSplitter, WithoutTerminatorEachArrivalIsOneMessage)
{
    LineSplitter s(4);
    auto out = s.feed("RRS;YES;");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].text + out[1].text, "RRS;YES;");
    EXPECT_FALSE(out[0].endOfLine);
}

TEST(Daemon, NumbersConnectionsFromOneAndReusesFreedNumbers)
{
    TcpLineListener d;
    DaemonEvents ev(d);
    d.setLocalPort(freePort());
    ASSERT_FALSE(d.setListening(true));
    auto a = RawConnection::connectTo(freePort());
    auto b = RawConnection::connectTo(freePort());
    ASSERT_TRUE(waitUntil([&] { return ev.connected.size() == 2; }));
    EXPECT_EQ(ev.connected, (std::vector<int>{1, 2}));
    EXPECT_EQ(d.remoteHost(1), "127.0.0.1");
    a->close();
    ASSERT_TRUE(waitUntil([&] { return ev.disconnected.size() == 1; }));
    EXPECT_EQ(ev.disconnected[0], 1);
    EXPECT_EQ(ev.hostsAtDisconnect[0], "127.0.0.1") << "readable while the event runs";
    auto c = RawConnection::connectTo(freePort());
    ASSERT_TRUE(waitUntil([&] { return ev.connected.size() == 3; }));
    EXPECT_EQ(ev.connected[2], 1);
}

TEST(Daemon, DeliversLinesPerConnectionTerminatorAndSends)
{
    TcpLineListener d;
    DaemonEvents ev(d);
    QObject::connect(&d, &TcpLineListener::connectionAccepted,
                     [&d](int id) { d.setEol(id, "<E>"); });
    d.setLocalPort(freePort());
    ASSERT_FALSE(d.setListening(true));
    auto peer = RawConnection::connectTo(freePort());
    ASSERT_TRUE(waitUntil([&] { return ev.connected.size() == 1; }));
    peer->send("TXT00002hi<E>AUD");
    ASSERT_TRUE(waitUntil([&] { return ev.data.size() == 1; }));
    EXPECT_EQ(ev.data[0].first, "TXT00002hi");
    EXPECT_TRUE(ev.data[0].second);
    EXPECT_FALSE(d.dataToSend(1, "BSY"));
    EXPECT_EQ(d.bytesSent(1), 3);
    EXPECT_TRUE(peer->waitFor("BSY"));
    EXPECT_EQ(d.dataToSend(7, "x").number, EndpointErrors::NotConnected);
}

TEST(Daemon, RefusedRequestsAndLocalCloseAreSeenByThePeer)
{
    TcpLineListener d;
    DaemonEvents ev(d);
    bool refuse = true;
    QObject::connect(&d, &TcpLineListener::connectionRequest,
                     [&](bool *accept) { *accept = !refuse; });
    d.setLocalPort(freePort());
    ASSERT_FALSE(d.setListening(true));
    auto refused = RawConnection::connectTo(freePort());
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->waitClosed());
    EXPECT_TRUE(ev.connected.empty());

    refuse = false;
    auto peer = RawConnection::connectTo(freePort());
    ASSERT_TRUE(waitUntil([&] { return ev.connected.size() == 1; }));
    d.dataToSend(1, "last words");
    d.setConnected(1, false);
    EXPECT_EQ(ev.disconnected, std::vector<int>{1}) << "a local close is reported at once";
    EXPECT_FALSE(d.connected(1));
    EXPECT_TRUE(peer->waitFor("last words")) << "queued bytes still reach the peer";
    EXPECT_TRUE(peer->waitClosed());
}

TEST(Daemon, PortInUseAndConnectionCap)
{
    TcpLineListener first, second;
    first.setLocalPort(freePort());
    ASSERT_FALSE(first.setListening(true));
    second.setLocalPort(freePort());
    const EndpointError e = second.setListening(true);
    EXPECT_EQ(e.number, EndpointErrors::AddressInUse);
    EXPECT_FALSE(second.listening());

    first.setMaxConnections(3);
    std::vector<std::unique_ptr<RawConnection>> peers;
    for (int i = 0; i < 5; ++i)
        peers.push_back(RawConnection::connectTo(freePort()));
    ASSERT_TRUE(waitUntil([&] { return first.connectionCount() == 3; }));
    EXPECT_TRUE(peers[4]->waitClosed());
    EXPECT_EQ(first.connectionCount(), 3);
}

TEST(Daemon, AcceptsAgainOnceDescriptorsRunOutAndComeBack)
{
    TcpLineListener d;
    d.setLocalPort(freePort());
    ASSERT_FALSE(d.setListening(true));
    std::vector<std::unique_ptr<RawConnection>> peers;
    for (int i = 0; i < 20; ++i) {
        peers.push_back(RawConnection::connectTo(freePort())); // waits in the listen backlog
        ASSERT_TRUE(peers.back());
    }
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur =
        QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::System).size() + 5;
    bool ranOut = false;
    QObject::connect(&d, &TcpLineListener::errorOccurred, [&] { ranOut = true; });
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    const bool failed = waitUntil([&] { return ranOut; }); // accepts what fits, then fails
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(failed) << "no accept ever failed for want of descriptors";
    EXPECT_LT(d.connectionCount(), 20);
    EXPECT_TRUE(waitUntil([&] { return d.connectionCount() == 20; }))
        << "the listener stayed deaf after running out of descriptors";
}

TEST(Daemon, TenMegabytesWithoutTerminatorArriveAsBoundedChunks)

{
    TcpLineListener d;
    DaemonEvents ev(d);
    QObject::connect(&d, &TcpLineListener::connectionAccepted,
                     [&d](int id) { d.setEol(id, "<E>"); });
    d.setLocalPort(freePort());
    ASSERT_FALSE(d.setListening(true));
    auto peer = RawConnection::connectTo(freePort());
    ASSERT_TRUE(waitUntil([&] { return ev.connected.size() == 1; }));
    const QByteArray block(1024 * 1024, 'z');
    for (int i = 0; i < 10; ++i)
        peer->send(block);
    peer->send("<E>ok<E>");
    ASSERT_TRUE(waitUntil([&] { return !ev.data.empty() && ev.data.back().first == "ok"; }, 20000));
    qsizetype total = 0;
    for (const auto &[text, eol] : ev.data) {
        EXPECT_LE(text.size(), LineSplitter::DefaultLimit);
        total += text.size();
    }
    EXPECT_EQ(total, 10 * 1024 * 1024 + 2);
}

TEST(Port, ConnectsReadsAddressesAndReportsBothCloses)
{
    RawListener peer(freePort());
    ASSERT_TRUE(peer.listening());
    TcpLineClient p;
    std::vector<int> connects, disconnects;
    std::vector<QByteArray> lines;
    QObject::connect(&p, &TcpLineClient::connectFinished, [&](int s) { connects.push_back(s); });
    QObject::connect(&p, &TcpLineClient::disconnected, [&](int s) { disconnects.push_back(s); });
    QObject::connect(&p, &TcpLineClient::dataIn,
                     [&](const QByteArray &t, bool) { lines.push_back(t); });
    ASSERT_FALSE(p.setRemoteHost("localhost"));
    EXPECT_EQ(p.remoteHost(), "localhost") << "a name is looked up as the connection is made";
    p.setRemotePort(freePort());
    p.setEol("<ET>");
    ASSERT_FALSE(p.setConnected(true));
    RawConnection *far = peer.waitForConnection();
    ASSERT_TRUE(far);
    ASSERT_TRUE(waitUntil([&] { return p.connected(); }));
    EXPECT_EQ(connects, std::vector<int>{0});
    EXPECT_EQ(p.localHost(), "127.0.0.1");
    far->send("LS1;a;<ET>");
    ASSERT_TRUE(waitUntil([&] { return lines.size() == 1; }));
    EXPECT_EQ(lines[0], "LS1;a;");
    far->close();
    ASSERT_TRUE(waitUntil([&] { return disconnects.size() == 1; }));
    EXPECT_FALSE(p.connected());
    EXPECT_EQ(p.remoteHost(), "127.0.0.1");

    ASSERT_FALSE(p.setConnected(true));
    ASSERT_TRUE(peer.waitForConnection());
    ASSERT_TRUE(waitUntil([&] { return p.connected(); }));
    p.setConnected(false);
    EXPECT_EQ(disconnects.size(), 2u) << "a local close is reported at once";
}

TEST(Port, FailuresAreNumbered)
{
    TcpLineClient p;
    std::vector<int> connects;
    QObject::connect(&p, &TcpLineClient::connectFinished, [&](int s) { connects.push_back(s); });
    EXPECT_EQ(p.setRemoteHost("").number, EndpointErrors::NoNetwork);
    EXPECT_EQ(p.setRemoteHost("::2").number, EndpointErrors::HostNotFound);
    EXPECT_EQ(p.dataToSend("x").number, EndpointErrors::NotConnected);
    ASSERT_FALSE(p.setRemoteHost("no-such-host.invalid"));
    p.setRemotePort(freePort());
    ASSERT_FALSE(p.setConnected(true));
    ASSERT_TRUE(waitUntil([&] { return !connects.empty(); }));
    EXPECT_EQ(connects[0], EndpointErrors::HostNotFound) << "a name that cannot be looked up";
    ASSERT_FALSE(p.setRemoteHost("127.0.0.1"));
    p.setRemotePort(freePort() + 7); // nobody listens there
    ASSERT_FALSE(p.setConnected(true));
    ASSERT_TRUE(waitUntil([&] { return connects.size() == 2; }));
    EXPECT_EQ(connects[1], EndpointErrors::ConnectionRefused);
    EXPECT_FALSE(p.connected());
}

TEST(Port, SendingNeverQueuesWithoutBound)
{
    RawListener peer(freePort());
    TcpLineClient p;
    p.setSendCap(64 * 1024);
    p.setRemoteHost("127.0.0.1");
    p.setRemotePort(freePort());
    p.setConnected(true);
    RawConnection *far = peer.waitForConnection();
    ASSERT_TRUE(far);
    far->socket()->setReadBufferSize(1); // a peer that stops reading
    ASSERT_TRUE(waitUntil([&] { return p.connected(); }));
    const QByteArray packet(16 * 1024, 'k');
    bool refused = false;
    for (int i = 0; i < 2000 && !refused; ++i) {
        const EndpointError e = p.dataToSend(packet);
        refused = e.number == EndpointErrors::WouldBlock;
        if (refused)
            EXPECT_EQ(p.bytesSent(), 0);
        else
            EXPECT_EQ(p.bytesSent(), packet.size());
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(refused);
    EXPECT_LE(p.bytesToWrite(), 64 * 1024 + packet.size());
}

TEST(MemoryTransport, ConnectsSplitsLinesAndClosesLikeTcp)
{
    MemoryNetwork net;
    auto listener = net.listener(), rival = net.listener();
    listener->setLocalPort(7);
    rival->setLocalPort(7);
    ASSERT_FALSE(listener->setListening(true));
    EXPECT_EQ(rival->setListening(true).number, EndpointErrors::AddressInUse);
    std::vector<std::pair<int, QByteArray>> arrived;
    std::vector<int> gone;
    bool accept = true;
    QObject::connect(listener.get(), &LineListener::connectionRequest,
                     [&](bool *a) { *a = accept; });
    QObject::connect(listener.get(), &LineListener::connectionAccepted,
                     [&](int id) { listener->setEol(id, "<E>"); });
    QObject::connect(listener.get(), &LineListener::dataIn,
                     [&](int id, const QByteArray &t) { arrived.emplace_back(id, t); });
    QObject::connect(listener.get(), &LineListener::disconnected,
                     [&](int id) { gone.push_back(id); });

    auto client = net.client();
    std::vector<int> events; // connectFinished status, or -1 for disconnected
    std::vector<QByteArray> lines;
    QObject::connect(client.get(), &LineClient::connectFinished,
                     [&](int s) { events.push_back(s); });
    QObject::connect(client.get(), &LineClient::disconnected, [&] { events.push_back(-1); });
    QObject::connect(client.get(), &LineClient::dataIn,
                     [&](const QByteArray &t) { lines.push_back(t); });
    EXPECT_EQ(client->setRemoteHost("no-such-host.invalid").number, EndpointErrors::HostNotFound);
    ASSERT_FALSE(client->setRemoteHost("peer.example"));
    client->setRemotePort(8); // nobody listens there
    client->setConnected(true);
    ASSERT_TRUE(waitUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events, std::vector<int>{EndpointErrors::ConnectionRefused});

    events.clear();
    client->setRemotePort(7);
    client->setEol("<E>");
    client->setConnected(true);
    ASSERT_TRUE(waitUntil([&] { return client->connected(); }));
    EXPECT_EQ(listener->connectionIds(), QList<int>{1});
    client->dataToSend("ab<E>c");
    client->dataToSend("d<E>");
    listener->dataToSend(1, "x<E>y");
    ASSERT_TRUE(waitUntil([&] { return arrived.size() == 2 && lines.size() == 1; }));
    EXPECT_EQ(arrived[1], (std::pair<int, QByteArray>{1, "cd"}));
    EXPECT_EQ(lines[0], "x");
    listener->setConnected(1, false);
    EXPECT_EQ(gone, std::vector<int>{1}) << "a local close is reported at once";
    ASSERT_TRUE(waitUntil([&] { return !client->connected(); }));
    EXPECT_EQ(events, (std::vector<int>{0, -1}));

    // A refused connection is made, then closed, as on TCP.
    accept = false;
    events.clear();
    client->setConnected(true);
    ASSERT_TRUE(waitUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events, (std::vector<int>{0, -1}));
    EXPECT_EQ(listener->connectionCount(), 0);
}
