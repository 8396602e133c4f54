// Start-up and shutdown of the program's logic: the base port, listener failures, the order of
// the steps, the start-up call, and what shutdown leaves in the files.
#include "calls/program.h"
#include "testsupport.h"

#include <QFile>
#include <gtest/gtest.h>

namespace
{

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Started {
    ScratchFolder folder;
    RecordingMessages messages;
    RecordingSounds sounds;
    RecordingShell shell;
    Program program{messages, sounds};

    explicit Started(const QString &commandLine = QString(), bool start = true)
    {
        program.settingsPath = folder.file("config/ovela.ini");
        if (start) program.startUp(shell, commandLine);
    }
    ~Started() { program.shutDown(); }
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
    EXPECT_EQ(s.program.session.BasePort, 2000);
    EXPECT_TRUE(s.program.endpoints.ipdControl.listening());
    EXPECT_EQ(s.program.endpoints.ipdQvid.localPort(), 2001);
    EXPECT_EQ(s.program.endpoints.ipdMessage.localPort(), 2002);
    EXPECT_EQ(s.program.chat.ipdText.localPort(), 2003);
    EXPECT_TRUE(s.messages.boxes.isEmpty()) << s.messages.boxes.join("|").toStdString();
    EXPECT_EQ(s.shell.calls, (QStringList{"size", "splash", "load"}));
    EXPECT_TRUE(s.program.log.entries().last().endsWith(": OVELA Power Up"));
}

TEST(Startup, ASecondAndThirdCopyStepTheBasePortByFour)
{
    Started first;
    Started second;
    Started third;
    EXPECT_EQ(second.program.session.BasePort, 2004);
    EXPECT_EQ(third.program.session.BasePort, 2008);
    EXPECT_EQ(third.program.endpoints.ipdMessage.localPort(), 2010);
    EXPECT_TRUE(listening(2005));
    EXPECT_TRUE(listening(2011));
    EXPECT_TRUE(third.messages.boxes.isEmpty());
}

TEST(Startup, WithEveryControlPortTakenTheFailureNamesDaemonOne)
{
    RawListener a(2000), b(2004), c(2008), d(2012);
    Started s;
    EXPECT_EQ(s.program.session.BasePort, 2012);
    EXPECT_FALSE(s.program.endpoints.ipdControl.listening());
    ASSERT_FALSE(s.messages.boxes.isEmpty());
    EXPECT_EQ(s.messages.boxes.first(),
              "Failed to start Listen Daemon 1: 25049 Address already in use");
    EXPECT_TRUE(s.program.endpoints.ipdQvid.listening()) << "the others are still tried";
    EXPECT_EQ(s.program.endpoints.ipdQvid.localPort(), 2013);
}

TEST(Startup, TakenMediaAndTextPortsAreReportedAndStartUpGoesOn)
{
    RawListener media(2001), text(2003);
    Started s;
    EXPECT_EQ(s.program.session.BasePort, 2000);
    EXPECT_TRUE(
        s.messages.boxes.contains("Failed to start Listen Daemon 2: 25049 Address already in use"));
    EXPECT_TRUE(s.messages.boxes.contains(
        "Failed to start text Listen Daemon 4: 25049 Address already in use"));
    EXPECT_TRUE(s.program.endpoints.ipdMessage.listening());
    EXPECT_TRUE(s.program.log.entries().last().endsWith(": OVELA Power Up"));
}

TEST(Startup, WithoutAnAddressTheSplashStaysFiveTicksThenTheWindowsShow)
{
    Started s;
    QObject::connect(&s.program, &Program::palCheckDue, [&] { s.shell.calls << "palCheck"; });
    ASSERT_TRUE(waitUntil([&] { return s.shell.calls.contains("main"); }, 7000));
    EXPECT_EQ(s.shell.calls, (QStringList{"size", "splash", "load", "palCheck", "closeSplash",
                                          "windows 100", "main", "options"}));
    EXPECT_EQ(s.messages.info.last(),
              "Please take a moment to fill in your user information and verify the setup.");
    EXPECT_FALSE(s.program.incoming.AutoAcceptOnce);
}

TEST(Startup, AnAddressOnTheCommandLineIsCalledOnTheFirstTickAndAutoAccepted)
{
    Started s("127.0.0.1");
    EXPECT_EQ(s.shell.calls, (QStringList{"size", "load", "main"}));
    EXPECT_TRUE(s.program.incoming.AutoAcceptOnce);
    // The address is our own: the call arrives here and is accepted without asking.
    ASSERT_TRUE(waitUntil([&] { return s.program.media.inCall(); }));
    EXPECT_TRUE(s.program.media.startupCallTarget.isEmpty());
    EXPECT_EQ(s.program.endpoints.ippControl.remotePort(), 2000);
}

TEST(Startup, SavedWindowPositionIsRestored)
{
    Started s(QString(), false);
    QDir().mkpath(s.folder.file("config"));
    QFile ini(s.program.settingsPath);
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Windows]\nSaveWinPos=True\nWinPosLeft= 300\nWinPosTop= -45\n");
    ini.close();
    s.program.startUp(s.shell, QString());
    EXPECT_TRUE(s.shell.calls.contains("move 300 -45"));
}

TEST(Shutdown, WritesSettingsListsAndLogAndRunsOnce)
{
    Started s;
    s.program.settings.SaveWinPos = true;
    s.program.pals.add("Eve", "Eve@X.org");
    s.program.shutDown();
    s.program.shutDown();
    const QByteArray ini = readAll(s.program.settingsPath);
    EXPECT_TRUE(ini.contains("WinPosLeft= 1500\n"));
    EXPECT_TRUE(ini.contains("VSpeedLow=True\n"));
    EXPECT_EQ(readAll(s.folder.file("ovela.pal")), "Eve\r\neve@x.org\r\n");
    EXPECT_TRUE(QFile::exists(s.folder.file("refuse.dat")));
    const QByteArray log = readAll(s.folder.file("ovela.log"));
    EXPECT_TRUE(log.contains(": OVELA Power Up\r\n"));
    EXPECT_TRUE(log.endsWith(": OVELA Power Down\r\n"));
    EXPECT_EQ(log.count("Power Down"), 1);
    EXPECT_TRUE(s.shell.calls.endsWith("unload"));
    EXPECT_FALSE(s.program.endpoints.ipdControl.listening());
    EXPECT_FALSE(listening(2003));
}

TEST(Shutdown, ASignalDuringAStartUpMessageEndsStartUpAndLeavesTheFilesAlone)
{
    RawListener a(2000), b(2004), c(2008), d(2012);
    Started s(QString(), false);
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
    s.program.startUp(s.shell, QString());
    EXPECT_TRUE(s.program.shutDownDone());
    EXPECT_FALSE(s.shell.calls.contains("load")) << "start-up stopped at the message";
    EXPECT_FALSE(s.program.media.timerActive());
    EXPECT_FALSE(listening(2003));
    EXPECT_EQ(readAll(s.folder.file("ovela.pal")), pals) << "lists never loaded are not replaced";
    EXPECT_EQ(readAll(s.folder.file("refuse.dat")), refused);
    EXPECT_EQ(readAll(s.folder.file("ovela.log")), log);
}

TEST(Shutdown, DuringACallTheCallEndIsLoggedBeforePowerDown)

{
    Started s;
    auto control = RawConnection::connectTo(2000);
    s.program.settings.AutoAccept = true;
    control->send("RQC;Ann;Porto;9:05;");
    ASSERT_TRUE(control->waitFor("RRS;YES;"));
    auto media = RawConnection::connectTo(2001);
    ASSERT_TRUE(waitUntil([&] { return s.program.media.inCall(); }));
    s.program.shutDown();
    EXPECT_TRUE(media->waitClosed());
    const QStringList &lines = s.program.log.entries();
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[lines.size() - 2].endsWith(": Disconnected from 127.0.0.1"));
    EXPECT_TRUE(lines.last().endsWith(": OVELA Power Down"));
}
