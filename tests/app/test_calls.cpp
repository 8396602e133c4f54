// Call set-up over real loopback sockets: a raw peer plays the caller or the callee byte for byte
// against the program's logic, with recorders standing in for the windows and the speaker.
#include "calls/program.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace
{

constexpr quint16 PeerPort = 2100; // the raw callee's control port; media +1, text +3

class CallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        program.settingsPath = folder.file("ovela.ini");
        program.startUp(shell, QString());
        program.settings.Name = "Cleo";
        program.settings.Location = "Lisbon";
        ASSERT_EQ(program.session.BasePort, 2000) << "another program holds port 2000";
    }
    void TearDown() override { program.shutDown(); }

    bool logged(const QString &text) const
    {
        for (const QString &line : program.log.entries())
            if (line.endsWith(": " + text)) return true;
        return false;
    }
    bool loggedStart(const QString &start) const
    {
        for (const QString &line : program.log.entries())
            if (line.contains(": " + start)) return true;
        return false;
    }
    // A raw caller that has sent its request on the control port.
    std::unique_ptr<RawConnection> call(const QByteArray &request = "RQC;Ann;Porto;9:05;")
    {
        auto peer = RawConnection::connectTo(2000);
        EXPECT_TRUE(peer);
        peer->send(request);
        return peer;
    }
    QByteArray acceptText() const { return "RRS;YES;Cleo;Lisbon;"; }

    ScratchFolder folder;
    RecordingMessages messages;
    RecordingSounds sounds;
    RecordingShell shell;
    Program program{messages, sounds};
};

} // namespace

TEST_F(CallTest, CalleeAcceptsEntersTheCallAndHangsUp)
{
    auto control = call();
    ASSERT_TRUE(waitUntil([&] { return program.incoming.promptOpen(); }));
    EXPECT_EQ(program.incoming.userName(), "Ann");
    EXPECT_EQ(program.incoming.userLocation(), "Porto");
    EXPECT_EQ(program.incoming.message(), "Would you like to accept this call?");
    EXPECT_EQ(sounds.played, QStringList{"ringin.wav"});
    EXPECT_TRUE(logged("Received Call from Ann, Porto 127.0.0.1, 9:05"));
    EXPECT_TRUE(program.chat.incoming().endsWith("Call: Ann, Time in Porto is 9:05.\r\n"));

    program.incoming.answerYes();
    EXPECT_FALSE(program.incoming.promptOpen());
    ASSERT_TRUE(control->take(acceptText()));
    EXPECT_TRUE(QRegularExpression("^([0-9]|1[0-9]|2[0-3]):[0-5][0-9];$")
                    .match(QString::fromLatin1(control->received()))
                    .hasMatch())
        << control->received().toStdString();
    control->clear();

    control->send("UIF;2.5;True;");
    ASSERT_TRUE(control->waitFor("UIF;2.5;True;"));
    EXPECT_TRUE(program.session.peerVersion);
    EXPECT_TRUE(program.session.realTime);

    auto media = RawConnection::connectTo(2001);
    ASSERT_TRUE(waitUntil([&] { return program.media.inCall(); }));
    EXPECT_EQ(program.chat.caption(), "Text Chat - Ann");
    auto text = RawConnection::connectTo(2003);
    ASSERT_TRUE(waitUntil([&] { return program.chat.ipdText.connected(1); }));
    EXPECT_TRUE(media->waitFor("TXT00018I can SEE you Too!<E>")) << "the welcome line";

    program.signalling.hangUp();
    EXPECT_FALSE(program.media.inCall());
    EXPECT_TRUE(media->waitClosed());
    EXPECT_TRUE(control->waitClosed());
    EXPECT_TRUE(text->waitClosed());
    EXPECT_TRUE(logged("Disconnected from 127.0.0.1"));
    EXPECT_EQ(sounds.played.last(), "discon.wav");
    EXPECT_EQ(program.chat.caption(), "Text Chat");
    EXPECT_TRUE(program.chat.incoming().endsWith("\r\n<End of Connection>\r\n"));
    EXPECT_FALSE(program.session.peerVersion);
}

TEST_F(CallTest, CalleeDeclinesAndACallerHangingUpEndsTheCall)
{
    auto first = call();
    ASSERT_TRUE(waitUntil([&] { return program.incoming.promptOpen(); }));
    program.incoming.answerNo();
    EXPECT_TRUE(first->waitFor("RRS;NO;"));
    EXPECT_EQ(first->received(), "RRS;NO;");
    first->close(); // as a caller does on a decline
    ASSERT_TRUE(waitUntil([&] { return program.endpoints.ipdControl.connectionCount() == 0; }));

    auto second = call("RQC;Bo;Oslo;10:00;");
    ASSERT_TRUE(waitUntil([&] { return program.incoming.promptOpen(); }));
    program.incoming.answerYes();
    ASSERT_TRUE(second->waitFor("RRS;YES;"));
    auto media = RawConnection::connectTo(2001);
    ASSERT_TRUE(waitUntil([&] { return program.media.inCall(); }));
    media->close();
    second->close();
    ASSERT_TRUE(waitUntil([&] { return !program.media.inCall(); }));
    EXPECT_TRUE(logged("Disconnected from 127.0.0.1"));
}

TEST_F(CallTest, ASecondCallerIsToldBusyAndTheFirstIsUndisturbed)
{
    auto first = call();
    ASSERT_TRUE(waitUntil([&] { return program.incoming.promptOpen(); }));
    auto second = call("RQC;Bo;Rome;11:11;");
    ASSERT_TRUE(second->waitFor("BSY"));
    EXPECT_EQ(second->received(), "BSY");
    EXPECT_TRUE(program.incoming.busyVisible());
    EXPECT_EQ(program.incoming.busyName(), "Bo");
    EXPECT_EQ(program.incoming.busyLocation(), "Rome");
    EXPECT_TRUE(logged("Sent busy to :Bo, Rome 127.0.0.1"));
    EXPECT_EQ(program.incoming.userName(), "Ann") << "the prompt still shows the first caller";
    program.incoming.answerYes();
    EXPECT_TRUE(first->waitFor("RRS;YES;"));
    EXPECT_TRUE(waitUntil([&] { return !program.incoming.busyVisible(); }, 5500))
        << "the notice goes within five seconds";
}

TEST_F(CallTest, AutoAcceptAnswersAtOnceAndClosesAfterFiveTicks)
{
    program.settings.AutoAccept = true;
    auto control = call();
    ASSERT_TRUE(control->waitFor(acceptText()));
    EXPECT_TRUE(program.incoming.promptOpen());
    EXPECT_EQ(program.incoming.message(), "Auto Accepting this Call");
    EXPECT_FALSE(program.incoming.buttonsVisible());
    for (int i = 0; i < 4; ++i)
        program.incoming.promptTick();
    EXPECT_TRUE(program.incoming.promptOpen());
    program.incoming.promptTick();
    EXPECT_FALSE(program.incoming.promptOpen());
}

TEST_F(CallTest, StartedWithAnAddressTheNextCallIsAcceptedOnce)
{
    program.incoming.AutoAcceptOnce = true;
    auto control = call();
    ASSERT_TRUE(control->waitFor(acceptText()));
    for (int i = 0; i < 5; ++i)
        program.incoming.promptTick();
    EXPECT_FALSE(program.incoming.AutoAcceptOnce);
    EXPECT_FALSE(program.settings.AutoAccept);

    // Closed from its frame before its five seconds, the prompt uses the one auto-accept up too.
    control->close();
    ASSERT_TRUE(waitUntil([&] { return program.endpoints.ipdControl.connectionCount() == 0; }));
    program.incoming.AutoAcceptOnce = true;
    auto again = call();

    ASSERT_TRUE(again->waitFor(acceptText()));
    program.incoming.closePrompt();
    EXPECT_FALSE(program.incoming.AutoAcceptOnce);
}

TEST_F(CallTest, AnUnansweredPromptCountsDownAndDeclines)
{
    program.settings.AutoDecTime = 2;
    auto control = call();
    ASSERT_TRUE(waitUntil([&] { return program.incoming.promptOpen(); }));
    EXPECT_EQ(program.incoming.message(), "Would you like to accept this call?");
    ASSERT_TRUE(control->waitFor("RRS;NO;", 4000)) << "declined by the one-second timer";
    EXPECT_FALSE(program.incoming.promptOpen());
    EXPECT_TRUE(logged("Auto-Declined call from: Ann, Porto"));
}

TEST_F(CallTest, TheCountdownTextShowsTheLastNineSeconds)
{
    auto control = call();
    ASSERT_TRUE(waitUntil([&] { return program.incoming.promptOpen(); }));
    program.incoming.OpenCallPrompt("Ann", "Porto"); // restart the count
    for (int i = 0; i < 10; ++i)
        program.incoming.promptTick();
    EXPECT_EQ(program.incoming.message(), "Would you like to accept this call?");
    program.incoming.promptTick();
    EXPECT_EQ(program.incoming.message(), "Auto-Declining Call in 9 Seconds.");
    for (int i = 0; i < 8; ++i)
        program.incoming.promptTick();
    EXPECT_EQ(program.incoming.message(), "Auto-Declining Call in 1 Seconds.");
    program.incoming.setAutoAcceptChecked(true);
    program.incoming.promptTick();
    EXPECT_FALSE(program.incoming.promptOpen());
    EXPECT_TRUE(control->waitFor("RRS;NO;"));
    EXPECT_TRUE(program.settings.AutoAccept) << "the ticked box decides the next calls";
}

TEST_F(CallTest, DoNotDisturbRefusesTheConnectionSilently)
{
    program.signalling.setDoNotDisturb(true);
    const auto linesBefore = program.log.entries().size();
    auto control = call();
    EXPECT_TRUE(control->waitClosed());
    QTest::qWait(100);
    EXPECT_FALSE(program.incoming.promptOpen());
    EXPECT_TRUE(sounds.played.isEmpty());
    EXPECT_EQ(program.log.entries().size(), linesBefore);
}

TEST_F(CallTest, MalformedAndHostileControlInputIsIgnored)
{
    auto peer = RawConnection::connectTo(2000);
    ASSERT_TRUE(peer);
    const auto linesBefore = program.log.entries().size();
    for (const QByteArray &junk :
         {QByteArray("RQC;Ann;Porto;"), QByteArray("RQC;A;n;n;Porto;9:05;"),
          QByteArray("rqc;a;b;c;"), QByteArray("XYZ;1;2;3;"), QByteArray(""),
          QByteArray("\x00\xff\x01;;;;", 8), QByteArray("RRS;YES;x;y;z;"), QByteArray("BSY")}) {
        peer->send(junk);
        QTest::qWait(30);
    }
    EXPECT_FALSE(program.incoming.promptOpen());
    EXPECT_FALSE(program.incoming.busyVisible());
    EXPECT_EQ(program.log.entries().size(), linesBefore);
    EXPECT_EQ(program.session.CallState, CallStates::Idle);

    // A name far longer than any real one is cut, not kept whole.
    peer->send("RQC;" + QByteArray(100000, 'N') + ";Porto;9:05;");
    ASSERT_TRUE(waitUntil([&] { return program.incoming.promptOpen(); }));
    EXPECT_EQ(program.incoming.userName().size(), CallSignalling::MaxPeerField);

    // Line breaks in a peer's name cannot forge entries in the log.
    program.incoming.answerNo();
    peer->send("RQC;Ann\r\n01/01/2026 00:00:00: Forged;Porto;9:05;");
    ASSERT_TRUE(waitUntil([&] { return program.incoming.userName().startsWith("Ann"); }));
    EXPECT_FALSE(program.incoming.userName().contains('\n'));
}

TEST_F(CallTest, IdleConnectionsAreLetGoAndTheNextCallerIsAnswered)
{
    program.signalling.setStrayConnectionTimeout(300);
    std::vector<std::unique_ptr<RawConnection>> idle;
    const int most = IPDaemon::DefaultMaxConnections;
    for (int i = 0; i < most + 50; ++i) {
        idle.push_back(RawConnection::connectTo(2000));
        ASSERT_TRUE(idle.back());
        QCoreApplication::processEvents(); // let the listener take it
    }
    ASSERT_TRUE(waitUntil([&] { return program.endpoints.ipdControl.connectionCount() == most; }));
    EXPECT_TRUE(idle.back()->waitClosed()) << "connections beyond the cap are refused";

    QTest::qWait(350);
    program.signalling.sweepStrayConnections();
    EXPECT_EQ(program.endpoints.ipdControl.connectionCount(), 0);
    auto genuine = call();
    ASSERT_TRUE(waitUntil([&] { return program.incoming.promptOpen(); }));
    program.incoming.answerYes();
    EXPECT_TRUE(genuine->waitFor("RRS;YES;"));
}

TEST_F(CallTest, MediaAndTextConnectionsOnlyFollowAnAcceptedCall)
{
    auto media = RawConnection::connectTo(2001);
    auto text = RawConnection::connectTo(2003);
    EXPECT_TRUE(media->waitClosed());
    EXPECT_TRUE(text->waitClosed());
    EXPECT_EQ(program.session.mediaState, MediaStates::None);
    EXPECT_FALSE(program.media.inCall());
}

TEST_F(CallTest, CallerPlacesACallThatIsAcceptedAndHungUpByThePeer)
{
    RawListener control(PeerPort), media(PeerPort + 1), text(PeerPort + 3);
    program.outgoing.PlaceCall("127.0.0.1", PeerPort, 0);
    EXPECT_TRUE(program.outgoing.windowOpen());
    EXPECT_EQ(program.outgoing.userName(), "Unknown");
    EXPECT_EQ(program.outgoing.userLocation(), "127.0.0.1");
    EXPECT_EQ(program.session.CallState, CallStates::Establishing);
    EXPECT_FALSE(program.queryUnload());
    EXPECT_EQ(messages.info.last(),
              "You must cancel the connection that is being established before exiting.");

    RawConnection *callee = control.waitForConnection();
    ASSERT_TRUE(callee);
    ASSERT_TRUE(callee->waitFor(";"));
    ASSERT_TRUE(waitUntil([&] { return callee->received().count(';') == 4; }));
    EXPECT_TRUE(callee->received().startsWith("RQC;Cleo;Lisbon;"));
    EXPECT_EQ(program.session.CallState, CallStates::Requesting);
    program.outgoing.tick();
    EXPECT_EQ(program.outgoing.status(), "Connection Made...Requesting");
    callee->clear();

    callee->send("RRS;YES;Bo;Rome;10:30;");
    ASSERT_TRUE(callee->waitFor("UIF;2.5;True;"));
    EXPECT_EQ(program.session.CallState, CallStates::AnswerYes);
    EXPECT_TRUE(logged("Call Accepted from Bo, Rome 127.0.0.1, 10:30"));
    EXPECT_TRUE(program.chat.incoming().endsWith("Call: Bo, Time in Rome is 10:30.\r\n"));
    EXPECT_EQ(sounds.played, QStringList{"ringin.wav"});

    RawConnection *mediaPeer = media.waitForConnection();
    ASSERT_TRUE(mediaPeer);
    ASSERT_TRUE(waitUntil([&] { return program.media.inCall(); }));
    EXPECT_TRUE(logged("Placed call to 127.0.0.1"));
    EXPECT_TRUE(text.waitForConnection()) << "the text connection follows the media one";
    program.outgoing.tick();
    EXPECT_FALSE(program.outgoing.windowOpen());
    EXPECT_EQ(program.chat.caption(), "Text Chat - Bo");

    callee->send("UIF;2.5;False;");
    ASSERT_TRUE(waitUntil([&] { return program.session.peerVersion; }));
    EXPECT_FALSE(program.session.realTime);

    // Placing another call lets this control connection go without undoing the new state.
    const auto mediaState = program.session.mediaState;
    program.outgoing.PlaceCall("127.0.0.1", PeerPort, 0);
    EXPECT_EQ(program.session.CallState, CallStates::Establishing);
    EXPECT_EQ(program.session.mediaState, mediaState);
    program.outgoing.cancel();

    mediaPeer->close();

    ASSERT_TRUE(waitUntil([&] { return !program.media.inCall(); }));
    EXPECT_TRUE(logged("Disconnected from 127.0.0.1"));
    EXPECT_TRUE(program.queryUnload());
}

TEST_F(CallTest, CallerSeesBusyNoAndNoAnswer)
{
    RawListener control(PeerPort);
    program.outgoing.PlaceCall("127.0.0.1", PeerPort, 0);
    RawConnection *callee = control.waitForConnection();
    ASSERT_TRUE(callee && callee->waitFor("RQC;"));
    callee->send("BSY");
    ASSERT_TRUE(waitUntil([&] { return program.session.CallState == CallStates::Busy; }));
    EXPECT_TRUE(logged("User at 127.0.0.1 busy."));
    EXPECT_TRUE(callee->waitClosed());
    program.outgoing.tick();
    EXPECT_EQ(program.outgoing.status(), "Busy");
    EXPECT_EQ(program.outgoing.cancelText(), "OK");
    program.outgoing.cancel();
    EXPECT_EQ(program.session.CallState, CallStates::Cancelled);
    EXPECT_FALSE(program.outgoing.windowOpen());

    program.outgoing.PlaceCall("127.0.0.1", PeerPort, 0);
    callee = control.waitForConnection();
    ASSERT_TRUE(callee && callee->waitFor("RQC;"));
    callee->send("RRS;NO;");
    ASSERT_TRUE(waitUntil([&] { return program.session.CallState == CallStates::AnswerNo; }));
    EXPECT_TRUE(logged("Call Not Accepted from 127.0.0.1"));
    program.outgoing.tick();
    EXPECT_EQ(program.outgoing.status(), "Connection Response is NO");

    program.outgoing.PlaceCall("127.0.0.1", PeerPort + 9, 0); // nobody there
    ASSERT_TRUE(waitUntil([&] { return program.session.CallState == CallStates::NoAnswer; }));
    program.outgoing.tick();
    EXPECT_EQ(program.outgoing.status(), "Did Not Answer");
}

TEST_F(CallTest, DoNotDisturbOnTheCalleeIsDidNotAnswerForTheCaller)
{
    program.signalling.setDoNotDisturb(true);
    program.outgoing.PlaceCall("127.0.0.1", 2000, 0); // ourselves, not answering
    ASSERT_TRUE(waitUntil([&] { return program.session.CallState == CallStates::NoAnswer; }));
    program.outgoing.tick();
    EXPECT_EQ(program.outgoing.status(), "Did Not Answer");
    EXPECT_FALSE(program.incoming.promptOpen());
}

TEST_F(CallTest, CallingOneselfPromptsInsteadOfBusyAndConnects)
{
    program.outgoing.PlaceCall("127.0.0.1", 2000, 0);
    ASSERT_TRUE(waitUntil([&] { return program.incoming.promptOpen(); }));
    EXPECT_FALSE(program.incoming.busyVisible());
    EXPECT_EQ(program.incoming.userName(), "Cleo");
    program.incoming.answerYes();
    ASSERT_TRUE(waitUntil([&] {
        return program.endpoints.ippClient.connected() && program.endpoints.ipdQvid.connected(1);
    }));
    EXPECT_TRUE(program.media.inCall());
    EXPECT_EQ(sounds.played, QStringList{"ringin.wav"}) << "no second ring for a call to oneself";
    program.signalling.hangUp();
    ASSERT_TRUE(waitUntil([&] {
        return !program.endpoints.ippClient.connected() && !program.endpoints.ipdQvid.connected(1);
    }));
    EXPECT_FALSE(program.media.inCall());
}

TEST_F(CallTest, AddressesThatCannotBeCalled)
{
    program.outgoing.PlaceCall("   ", 2000, 0);
    EXPECT_EQ(messages.info.last(),
              "Select a user on the list or enter an E-Mail or IP Address to place a call.");
    EXPECT_FALSE(program.outgoing.windowOpen());

    program.outgoing.PlaceCall("ann@example.org", 2000, 0);
    EXPECT_FALSE(program.outgoing.windowOpen()) << "no directory connection: nothing happens";
    EXPECT_EQ(program.session.CallState, CallStates::Idle);

    program.outgoing.PlaceCall("no-such-host.invalid", 2000, 0);
    EXPECT_TRUE(
        messages.info.last().startsWith("You have entered an invalid Host Address: 11001 "));
    EXPECT_EQ(program.session.CallState, CallStates::Cancelled);
    program.outgoing.tick();
    EXPECT_FALSE(program.outgoing.windowOpen());
}

TEST_F(CallTest, ProgressWindowCountsSecondsAndAnimates)
{
    program.outgoing.PlaceCall("127.0.0.1", PeerPort + 9, 0);
    program.outgoing.cancel();
    program.session.CallState = CallStates::Establishing;
    program.outgoing.PlaceCall("127.0.0.1", PeerPort + 9, 0);
    program.outgoing.cancel();

    RawListener control(PeerPort);
    program.outgoing.PlaceCall("127.0.0.1", PeerPort, 0);
    ASSERT_TRUE(control.waitForConnection());
    ASSERT_TRUE(waitUntil([&] { return program.session.CallState == CallStates::Requesting; }));
    for (int i = 0; i < 3; ++i)
        program.outgoing.tick();
    EXPECT_EQ(program.outgoing.secondsText(), "");
    program.outgoing.tick();
    EXPECT_EQ(program.outgoing.secondsText(), "1 sec");
    EXPECT_EQ(program.outgoing.frame(), 4);
    program.session.CallState = CallStates::EmailNotFound;
    for (int i = 0; i < 4; ++i)
        program.outgoing.tick();
    EXPECT_EQ(program.outgoing.secondsText(), "IDLE");
    EXPECT_EQ(program.outgoing.status(), "Email address not found");
    EXPECT_EQ(program.outgoing.frame(), 0) << "an idle window stops on the first frame";
    program.outgoing.cancel();
}

TEST_F(CallTest, AnEmailAddressIsLookedUpOnTheDirectoryServer)
{
    RawListener directory(2110);
    IPPort &server = program.endpoints.ippServer;
    server.setRemoteHost("127.0.0.1");
    server.setRemotePort(2110);
    server.setConnected(true);
    RawConnection *dir = directory.waitForConnection();
    ASSERT_TRUE(dir);
    ASSERT_TRUE(waitUntil([&] { return server.connected(); }));
    program.outgoing.PlaceCall("  Ann@Example.org ", 2000, 0);
    ASSERT_TRUE(dir->waitFor("<ET>"));
    EXPECT_EQ(dir->received(), "GEM;Ann@Example.org;<ET>");
    EXPECT_EQ(program.session.CallState, CallStates::LookingUpEmail);
    EXPECT_TRUE(program.outgoing.windowOpen());
    EXPECT_EQ(program.outgoing.userName(), "Ann@Example.org");
    EXPECT_EQ(program.outgoing.userLocation(), "Unknown");
    program.outgoing.tick();
    EXPECT_EQ(program.outgoing.status(), "Looking up Email Address");
    EXPECT_FALSE(program.endpoints.ippControl.connecting()) << "never connected to directly";
}

TEST_F(CallTest, TenMegabytesOfJunkOnTheControlPortChangeNothing)
{
    auto junk = RawConnection::connectTo(2000);
    const QByteArray block(1024 * 1024, 'x');
    for (int i = 0; i < 10; ++i) {
        junk->send(block);
        QCoreApplication::processEvents();
    }
    QTest::qWait(200);
    EXPECT_FALSE(program.incoming.promptOpen());
    junk->close();
    ASSERT_TRUE(waitUntil([&] { return program.endpoints.ipdControl.connectionCount() == 0; }));
    auto genuine = call();
    ASSERT_TRUE(waitUntil([&] { return program.incoming.promptOpen(); }));
    EXPECT_EQ(program.incoming.userName(), "Ann");
}
