// Start-up and shutdown of the program's logic: the base port, listener failures, the order of
// the steps, the start-up call, and what shutdown leaves in the files.
#include "testsupport.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <unistd.h>

namespace
{

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A program started on `base` (free ports unless told otherwise).
struct Started : TestProgram {
    explicit Started(quint16 base = freeBasePort(), const QString &commandLine = QString(),
                     bool run = true)
        : TestProgram(nullptr, base)
    {
        if (run) start(commandLine);
    }
};

bool listening(quint16 port)
{
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), port);
    const bool ok = s.waitForConnected(1000);
    s.abort();
    return ok;
}

} // namespace

TEST(Startup, ListensOnTheBasePortAndTheThreeAboveIt)
{
    Started s;
    const quint16 base = s.port();
    for (int offset = 0; offset < 4; ++offset)
        EXPECT_TRUE(listening(quint16(base + offset))) << "base port + " << offset;
    EXPECT_EQ(s->signalling().listeningPort(), base);
    EXPECT_EQ(s->media().listeningPort(), base + 1);
    EXPECT_EQ(s->quickMessages().listeningPort(), base + 2);
    EXPECT_EQ(s->chatLink().listeningPort(), base + 3);
    EXPECT_TRUE(s.messages.boxes.isEmpty()) << s.messages.boxes.join("|").toStdString();
    EXPECT_EQ(s.view.calls, (QStringList{"size", "splash", "load"}));
    EXPECT_TRUE(s->log().entries().last().endsWith(": OVELA Power Up"));
}

TEST(Startup, ASecondAndThirdCopyStepTheBasePortByFour)
{
    const quint16 base = freeBasePort();
    Started first(base);
    Started second(base);
    Started third(base);
    EXPECT_EQ(second.program.basePort(), base + 4);
    EXPECT_EQ(third.program.basePort(), base + 8);
    EXPECT_EQ(third->quickMessages().listeningPort(), base + 10);
    EXPECT_TRUE(listening(base + 5));
    EXPECT_TRUE(listening(base + 11));
    EXPECT_TRUE(third.messages.boxes.isEmpty());
}

TEST(Startup, WithEveryControlPortTakenTheFailureNamesDaemonOne)
{
    const quint16 base = freeBasePort();
    RawListener a(base), b(base + 4), c(base + 8), d(base + 12);
    Started s(base);
    EXPECT_EQ(s.program.basePort(), base + 12);
    EXPECT_EQ(s->signalling().listeningPort(), 0);
    ASSERT_FALSE(s.messages.boxes.isEmpty());
    EXPECT_EQ(s.messages.boxes.first(),
              "Failed to start Listen Daemon 1: 25049 Address already in use");
    EXPECT_EQ(s->media().listeningPort(), base + 13) << "the others are still tried";
}

TEST(Startup, TakenMediaAndTextPortsAreReportedAndStartUpGoesOn)
{
    const quint16 base = freeBasePort();
    RawListener media(base + 1), text(base + 3);
    Started s(base);
    EXPECT_EQ(s.program.basePort(), base);
    EXPECT_TRUE(
        s.messages.boxes.contains("Failed to start Listen Daemon 2: 25049 Address already in use"));
    EXPECT_TRUE(s.messages.boxes.contains(
        "Failed to start text Listen Daemon 4: 25049 Address already in use"));
    EXPECT_EQ(s->quickMessages().listeningPort(), base + 2);
    EXPECT_TRUE(s->log().entries().last().endsWith(": OVELA Power Up"));
}

TEST(Startup, WithoutAnAddressTheSplashStaysFiveTicksThenTheWindowsShow)
{
    Started s;
    QObject::connect(&s.program, &Program::palCheckDue, [&] { s.view.calls << "palCheck"; });
    ASSERT_TRUE(waitUntil([&] { return s.view.calls.contains("main"); }, 7000));
    EXPECT_EQ(s.view.calls, (QStringList{"size", "splash", "load", "palCheck", "closeSplash",
                                         "windows 100", "main", "options"}));
    EXPECT_EQ(s.messages.info.last(),
              "Please take a moment to fill in your user information and verify the setup.");
    EXPECT_FALSE(s->incoming().AutoAcceptOnce);
}

TEST(Startup, AnAddressOnTheCommandLineIsCalledOnTheFirstTickAndAutoAccepted)
{
    const quint16 base = freeBasePort();
    Started s(base, QStringLiteral("127.0.0.1:%1").arg(base));
    EXPECT_EQ(s.view.calls, (QStringList{"size", "load", "main"}));
    EXPECT_TRUE(s->incoming().AutoAcceptOnce);
    // The address is our own: the call arrives here and is accepted without asking.
    ASSERT_TRUE(waitUntil([&] { return s->media().inCall(); }));
    EXPECT_TRUE(s->media().startupCall().isEmpty());
}

TEST(Startup, SavedWindowPositionIsRestored)
{
    Started s(freeBasePort(), QString(), false);
    QFile ini(s->settingsPath());
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Windows]\nSaveWinPos=True\nWinPosLeft= 300\nWinPosTop= -45\n");
    ini.close();
    s.start();
    EXPECT_TRUE(s.view.calls.contains("move 300 -45"));
}

TEST(Shutdown, WritesSettingsListsAndLogAndRunsOnce)
{
    Started s;
    s->settings().SaveWinPos = true;
    s->pals().add("Eve", "Eve@X.org");
    s.program.shutDown();
    s.program.shutDown();
    const QByteArray ini = readAll(s->settingsPath());
    EXPECT_TRUE(ini.contains("WinPosLeft= 1500\n"));
    EXPECT_TRUE(ini.contains("VSpeedLow=True\n"));
    EXPECT_EQ(readAll(s.folder.file("ovela.pal")), "Eve\r\neve@x.org\r\n");
    EXPECT_TRUE(QFile::exists(s.folder.file("refuse.dat")));
    const QByteArray log = readAll(s.folder.file("ovela.log"));
    EXPECT_TRUE(log.contains(": OVELA Power Up\r\n"));
    EXPECT_TRUE(log.endsWith(": OVELA Power Down\r\n"));
    EXPECT_EQ(log.count("Power Down"), 1);
    EXPECT_TRUE(s.view.calls.endsWith("unload"));
    for (int offset = 0; offset < 4; ++offset)
        EXPECT_FALSE(listening(s.port(offset))) << "base port + " << offset;
}

TEST(Shutdown, ASignalDuringAStartUpMessageEndsStartUpAndLeavesTheFilesAlone)
{
    const quint16 base = freeBasePort();
    RawListener a(base), b(base + 4), c(base + 8), d(base + 12);
    Started s(base, QString(), false);
    const QByteArray pals = "Eve\r\neve@x.org\r\n", refused = " 17 \r\n",
                     log = "12/07/2026 10:00:00: OVELA Power Up\r\n";
    for (const auto &[name, bytes] :
         {std::pair{"ovela.pal", pals}, std::pair{"refuse.dat", refused},
          std::pair{"ovela.log", log}}) {
        QFile f(s.folder.file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    s.messages.onBox = [&] { s.program.shutDown(); };
    s.start();
    EXPECT_TRUE(s.program.shutDownDone());
    EXPECT_FALSE(s.view.calls.contains("load")) << "start-up stopped at the message";
    EXPECT_FALSE(s->media().timerActive());
    for (int offset : {13, 14, 15})
        EXPECT_FALSE(listening(quint16(base + offset))) << "nothing listens after the shutdown";
    EXPECT_EQ(readAll(s.folder.file("ovela.pal")), pals) << "lists never loaded are not replaced";
    EXPECT_EQ(readAll(s.folder.file("refuse.dat")), refused);
    EXPECT_EQ(readAll(s.folder.file("ovela.log")), log);
}

TEST(Shutdown, DuringACallTheCallEndIsLoggedBeforePowerDown)
{
    Started s;
    auto control = RawConnection::connectTo(s.port());
    s->settings().AutoAccept = true;
    control->send("RQC;Ann;Porto;9:05;");
    ASSERT_TRUE(control->waitFor("RRS;YES;"));
    auto media = RawConnection::connectTo(s.port(1));
    ASSERT_TRUE(waitUntil([&] { return s->media().inCall(); }));
    s.program.shutDown();
    EXPECT_TRUE(media->waitClosed());
    const QStringList &lines = s->log().entries();
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[lines.size() - 2].endsWith(": Disconnected from 127.0.0.1"));
    EXPECT_TRUE(lines.last().endsWith(": OVELA Power Down"));
}

// Run by the test below inside a network namespace that has nothing but loopback.
TEST(Startup, DISABLED_WithoutANetwork)
{
    Started s;
    EXPECT_EQ(s.messages.boxes.filter("You must connect to the Internet").size(), 1);
    s->directory().connectDirectory("dir.example.org", 2010);
    ASSERT_EQ(s.messages.info.size(), 1);
    EXPECT_EQ(s.messages.info.last(),
              "You must be connected to the Internet before you can use the Directory");
    s->directory().connectDirectory("localhost", 2010); // a server on this machine needs none
    EXPECT_EQ(s.messages.info.size(), 1);
}

// The no-network message comes on a machine without a network, and only there: the program's
// start in a namespace of its own with nothing but loopback (needs root, as CI has).
TEST(Startup, TheNoNetworkMessageComesOnlyWithoutANetwork)
{
    ASSERT_EQ(::geteuid(), 0u) << "needs root (ip netns), as CI runs it";
    EXPECT_TRUE(NetAddress::hasNetwork());
    const QString ns = QStringLiteral("ovela-nonet-%1").arg(QCoreApplication::applicationPid());
    ASSERT_EQ(QProcess::execute("ip", {"netns", "add", ns}), 0);
    QProcess::execute("ip", {"-n", ns, "link", "set", "lo", "up"});
    const int status =
        QProcess::execute("ip", {"netns", "exec", ns, QCoreApplication::applicationFilePath(),
                                 "--gtest_also_run_disabled_tests",
                                 "--gtest_filter=Startup.DISABLED_WithoutANetwork"});
    QProcess::execute("ip", {"netns", "del", ns});
    EXPECT_EQ(status, 0);
}
