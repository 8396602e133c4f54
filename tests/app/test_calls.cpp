// Call set-up over real loopback sockets: a raw peer plays the caller or the callee byte for byte
// against the program's logic, with recorders standing in for the windows and the speaker.
#include "platform/memorytransport.h"
#include "platform/tcplinelistener.h"
#include "protocol/callcontrol.h"
#include "testsupport.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace
{

bool loggedIn(ActivityLog &log, const QString &text)
{
    for (const QString &line : log.entries())
        if (line.endsWith(": " + text)) return true;
    return false;
}

class CallTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        t.start();
        t->settings().Name = "Cleo";
        t->settings().Location = "Lisbon";
        ASSERT_EQ(t.program.basePort(), base);
    }

    bool logged(const QString &text) { return loggedIn(t->log(), text); }
    // A raw caller that has sent its request on the control port.
    std::unique_ptr<RawConnection> call(const QByteArray &request = "RQC;Ann;Porto;9:05;")
    {
        auto peer = RawConnection::connectTo(base);
        EXPECT_TRUE(peer);
        peer->send(request);
        return peer;
    }
    QByteArray acceptText() const { return "RRS;YES;Cleo;Lisbon;"; }

    IncomingCall &incoming() { return t->incoming(); }
    OutgoingCall &outgoing() { return t->outgoing(); }
    CallSession &session() { return t->session(); }
    CallSignalling &signalling() { return t->signalling(); }
    qint16 callState() { return t->session().callState(); }

    const quint16 base = freeBasePort();
    const quint16 peerPort = freeBasePort(); // a raw callee's control port; media +1, text +3
    TestProgram t{nullptr, base};
    RecordingMessages &messages = t.messages;
    RecordingSounds &sounds = t.sounds;
};

} // namespace

TEST_F(CallTest, CalleeAcceptsEntersTheCallAndHangsUp)
{
    auto control = call();
    ASSERT_TRUE(waitUntil([&] { return incoming().promptOpen(); }));
    EXPECT_EQ(incoming().userName(), "Ann");
    EXPECT_EQ(incoming().userLocation(), "Porto");
    EXPECT_EQ(incoming().message(), "Would you like to accept this call?");
    EXPECT_EQ(sounds.played, QStringList{"ringin.wav"});
    EXPECT_TRUE(logged("Received Call from Ann, Porto 127.0.0.1, 9:05"));
    EXPECT_TRUE(t->chat().incoming().endsWith("Call: Ann, Time in Porto is 9:05.\r\n"));

    incoming().answerYes();
    EXPECT_FALSE(incoming().promptOpen());
    ASSERT_TRUE(control->take(acceptText()));
    // A caller of any version reads the answer's time; one that can encrypt reads one more field.
    EXPECT_TRUE(QRegularExpression("^([0-9]|1[0-9]|2[0-3]):[0-5][0-9];TLS13;$")
                    .match(QString::fromLatin1(control->received()))
                    .hasMatch())
        << control->received().toStdString();
    control->clear();

    // An older caller's capability record: the call stays plain, exactly as before.
    control->send("UIF;2.5;True;");
    ASSERT_TRUE(control->waitFor("UIF;2.5;True;"));
    EXPECT_TRUE(session().peerVersion());
    EXPECT_TRUE(session().realTime());

    auto media = RawConnection::connectTo(t.port(1));
    ASSERT_TRUE(waitUntil([&] { return t->media().inCall(); }));
    EXPECT_EQ(t->chat().caption(), "Text Chat - Ann");
    auto text = RawConnection::connectTo(t.port(3));
    ASSERT_TRUE(waitUntil([&] { return t->chatLink().connected(); }));
    EXPECT_TRUE(media->waitFor("TXT00018I can SEE you Too!<E>")) << "the welcome line";

    signalling().hangUp();
    EXPECT_FALSE(t->media().inCall());
    EXPECT_TRUE(media->waitClosed());
    EXPECT_TRUE(control->waitClosed());
    EXPECT_TRUE(text->waitClosed());
    EXPECT_TRUE(logged("Disconnected from 127.0.0.1"));
    EXPECT_EQ(sounds.played.last(), "discon.wav");
    EXPECT_EQ(t->chat().caption(), "Text Chat");
    EXPECT_TRUE(t->chat().incoming().endsWith("\r\n<End of Connection>\r\n"));
    EXPECT_FALSE(session().peerVersion());
}

TEST_F(CallTest, CalleeDeclinesAndACallerHangingUpEndsTheCall)
{
    auto first = call();
    ASSERT_TRUE(waitUntil([&] { return incoming().promptOpen(); }));
    incoming().answerNo();
    EXPECT_TRUE(first->waitFor("RRS;NO;"));
    EXPECT_EQ(first->received(), "RRS;NO;");
    first->close(); // as a caller does on a decline
    ASSERT_TRUE(waitUntil([&] { return signalling().controlConnections() == 0; }));

    auto second = call("RQC;Bo;Oslo;10:00;");
    ASSERT_TRUE(waitUntil([&] { return incoming().promptOpen(); }));
    incoming().answerYes();
    ASSERT_TRUE(second->waitFor("RRS;YES;"));
    auto media = RawConnection::connectTo(t.port(1));
    ASSERT_TRUE(waitUntil([&] { return t->media().inCall(); }));
    media->close();
    second->close();
    ASSERT_TRUE(waitUntil([&] { return !t->media().inCall(); }));
    EXPECT_TRUE(logged("Disconnected from 127.0.0.1"));
}

TEST_F(CallTest, ASecondCallerIsToldBusyAndTheFirstIsUndisturbed)
{
    auto first = call();
    ASSERT_TRUE(waitUntil([&] { return incoming().promptOpen(); }));
    auto second = call("RQC;Bo;Rome;11:11;");
    ASSERT_TRUE(second->waitFor("BSY"));
    EXPECT_EQ(second->received(), "BSY");
    EXPECT_TRUE(incoming().busyVisible());
    EXPECT_EQ(incoming().busyName(), "Bo");
    EXPECT_EQ(incoming().busyLocation(), "Rome");
    EXPECT_TRUE(logged("Sent busy to :Bo, Rome 127.0.0.1"));
    EXPECT_EQ(incoming().userName(), "Ann") << "the prompt still shows the first caller";
    incoming().answerYes();
    EXPECT_TRUE(first->waitFor("RRS;YES;"));
    EXPECT_TRUE(waitUntil([&] { return !incoming().busyVisible(); }, 5500))
        << "the notice goes within five seconds";
}

TEST_F(CallTest, AutoAcceptAnswersAtOnceAndClosesAfterFiveTicks)
{
    t->settings().AutoAccept = true;
    auto control = call();
    ASSERT_TRUE(control->waitFor(acceptText()));
    EXPECT_TRUE(incoming().promptOpen());
    EXPECT_EQ(incoming().message(), "Auto Accepting this Call");
    EXPECT_FALSE(incoming().buttonsVisible());
    for (int i = 0; i < 4; ++i)
        incoming().promptTick();
    EXPECT_TRUE(incoming().promptOpen());
    incoming().promptTick();
    EXPECT_FALSE(incoming().promptOpen());
}

TEST_F(CallTest, StartedWithAnAddressTheNextCallIsAcceptedOnce)
{
    incoming().AutoAcceptOnce = true;
    auto control = call();
    ASSERT_TRUE(control->waitFor(acceptText()));
    for (int i = 0; i < 5; ++i)
        incoming().promptTick();
    EXPECT_FALSE(incoming().AutoAcceptOnce);
    EXPECT_FALSE(t->settings().AutoAccept);

    // Closed from its frame before its five seconds, the prompt uses the one auto-accept up too.
    control->close();
    ASSERT_TRUE(waitUntil([&] { return signalling().controlConnections() == 0; }));
    incoming().AutoAcceptOnce = true;
    auto again = call();

    ASSERT_TRUE(again->waitFor(acceptText()));
    incoming().closePrompt();
    EXPECT_FALSE(incoming().AutoAcceptOnce);
}

TEST_F(CallTest, AnUnansweredPromptCountsDownAndDeclines)
{
    t->settings().AutoDecTime = 2;
    auto control = call();
    ASSERT_TRUE(waitUntil([&] { return incoming().promptOpen(); }));
    EXPECT_EQ(incoming().message(), "Would you like to accept this call?");
    ASSERT_TRUE(control->waitFor("RRS;NO;", 4000)) << "declined by the one-second timer";
    EXPECT_FALSE(incoming().promptOpen());
    EXPECT_TRUE(logged("Auto-Declined call from: Ann, Porto"));
}

TEST_F(CallTest, TheCountdownTextShowsTheLastNineSeconds)
{
    auto control = call();
    ASSERT_TRUE(waitUntil([&] { return incoming().promptOpen(); }));
    incoming().openCallPrompt("Ann", "Porto"); // restart the count
    for (int i = 0; i < 10; ++i)
        incoming().promptTick();
    EXPECT_EQ(incoming().message(), "Would you like to accept this call?");
    incoming().promptTick();
    EXPECT_EQ(incoming().message(), "Auto-Declining Call in 9 Seconds.");
    for (int i = 0; i < 8; ++i)
        incoming().promptTick();
    EXPECT_EQ(incoming().message(), "Auto-Declining Call in 1 Seconds.");
    incoming().setAutoAcceptChecked(true);
    incoming().promptTick();
    EXPECT_FALSE(incoming().promptOpen());
    EXPECT_TRUE(control->waitFor("RRS;NO;"));
    EXPECT_TRUE(t->settings().AutoAccept) << "the ticked box decides the next calls";
}

TEST_F(CallTest, DoNotDisturbRefusesTheConnectionSilently)
{
    signalling().setDoNotDisturb(true);
    const auto linesBefore = t->log().entries().size();
    auto refused = call();
    EXPECT_TRUE(refused->waitClosed());
    // The next call, once Do Not Disturb is off, is the first thing the program hears of.
    signalling().setDoNotDisturb(false);
    auto control = call();
    ASSERT_TRUE(waitUntil([&] { return incoming().promptOpen(); }));
    EXPECT_EQ(sounds.played, QStringList{"ringin.wav"});
    EXPECT_EQ(t->log().entries().size(), linesBefore + 1);
}

TEST_F(CallTest, MalformedAndHostileControlInputIsIgnored)
{
    const auto linesBefore = t->log().entries().size();
    for (const QByteArray &junk :
         {QByteArray("RQC;Ann;Porto;"), QByteArray("RQC;A;n;n;Porto;9:05;"),
          QByteArray("rqc;a;b;c;"), QByteArray("XYZ;1;2;3;"), QByteArray(""),
          QByteArray("\x00\xff\x01;;;;", 8), QByteArray("RRS;YES;x;y;z;"), QByteArray("BSY")}) {
        // One message per connection; once its close is seen, the program has read it.
        auto peer = RawConnection::connectTo(base);
        ASSERT_TRUE(peer);
        ASSERT_TRUE(waitUntil([&] { return signalling().controlConnections() == 1; }));
        peer->send(junk);
        peer->close();
        ASSERT_TRUE(waitUntil([&] { return signalling().controlConnections() == 0; }));
    }
    EXPECT_FALSE(incoming().promptOpen());
    EXPECT_FALSE(incoming().busyVisible());
    EXPECT_EQ(t->log().entries().size(), linesBefore);
    EXPECT_EQ(callState(), CallStates::Idle);

    // A name far longer than any real one is cut, not kept whole. (One arrival is one message
    // here, so the line stays within what loopback delivers at once.)
    auto peer = RawConnection::connectTo(base);
    peer->send("RQC;" + QByteArray(20000, 'N') + ";Porto;9:05;");
    ASSERT_TRUE(waitUntil([&] { return incoming().promptOpen(); }));
    EXPECT_EQ(incoming().userName().size(), CallControl::MaxPeerField);

    // Line breaks in a peer's name cannot forge entries in the log.
    incoming().answerNo();
    peer->send("RQC;Ann\r\n01/01/2026 00:00:00: Forged;Porto;9:05;");
    ASSERT_TRUE(waitUntil([&] { return incoming().userName().startsWith("Ann"); }));
    EXPECT_FALSE(incoming().userName().contains('\n'));
}

TEST_F(CallTest, IdleConnectionsAreLetGoAndTheNextCallerIsAnswered)
{
    signalling().setStrayConnectionTimeout(300);
    std::vector<std::unique_ptr<RawConnection>> idle;
    const int most = TcpLineListener::DefaultMaxConnections;
    for (int i = 0; i < most + 50; ++i) {
        idle.push_back(RawConnection::connectTo(base));
        ASSERT_TRUE(idle.back());
        QCoreApplication::processEvents(); // let the listener take it
    }
    ASSERT_TRUE(waitUntil([&] { return signalling().controlConnections() == most; }));
    EXPECT_TRUE(idle.back()->waitClosed()) << "connections beyond the cap are refused";

    EXPECT_TRUE(waitUntil([&] {
        signalling().sweepStrayConnections();
        return signalling().controlConnections() == 0;
    })) << "every idle connection goes once it has been open for the timeout";
    auto genuine = call();
    ASSERT_TRUE(waitUntil([&] { return incoming().promptOpen(); }));
    incoming().answerYes();
    EXPECT_TRUE(genuine->waitFor("RRS;YES;"));
}

TEST_F(CallTest, MediaAndTextConnectionsOnlyFollowAnAcceptedCall)
{
    auto media = RawConnection::connectTo(t.port(1));
    auto text = RawConnection::connectTo(t.port(3));
    EXPECT_TRUE(media->waitClosed());
    EXPECT_TRUE(text->waitClosed());
    EXPECT_EQ(session().mediaState(), MediaState::None);
    EXPECT_FALSE(t->media().inCall());
}

TEST_F(CallTest, CallerPlacesACallThatIsAcceptedAndHungUpByThePeer)
{
    RawListener control(peerPort), media(peerPort + 1), text(peerPort + 3);
    outgoing().placeCall("127.0.0.1", peerPort, 0);
    EXPECT_TRUE(outgoing().windowOpen());
    EXPECT_EQ(outgoing().userName(), "Unknown");
    EXPECT_EQ(outgoing().userLocation(), "127.0.0.1");
    EXPECT_EQ(callState(), CallStates::Establishing);
    EXPECT_FALSE(t.program.queryUnload());
    EXPECT_EQ(messages.info.last(),
              "You must cancel the connection that is being established before exiting.");

    RawConnection *callee = control.waitForConnection();
    ASSERT_TRUE(callee);
    ASSERT_TRUE(callee->waitFor(";"));
    ASSERT_TRUE(waitUntil([&] { return callee->received().count(';') == 4; }));
    EXPECT_TRUE(callee->received().startsWith("RQC;Cleo;Lisbon;"));
    EXPECT_EQ(callState(), CallStates::Requesting);
    outgoing().tick();
    EXPECT_EQ(outgoing().status(), "Connection Made...Requesting");
    callee->clear();

    callee->send("RRS;YES;Bo;Rome;10:30;");
    ASSERT_TRUE(callee->waitFor("UIF;2.5;True;"));
    EXPECT_EQ(callState(), CallStates::AnswerYes);
    EXPECT_TRUE(logged("Call Accepted from Bo, Rome 127.0.0.1, 10:30"));
    EXPECT_TRUE(t->chat().incoming().endsWith("Call: Bo, Time in Rome is 10:30.\r\n"));
    EXPECT_EQ(sounds.played, QStringList{"ringin.wav"});

    RawConnection *mediaPeer = media.waitForConnection();
    ASSERT_TRUE(mediaPeer);
    ASSERT_TRUE(waitUntil([&] { return t->media().inCall(); }));
    EXPECT_TRUE(logged("Placed call to 127.0.0.1"));
    EXPECT_TRUE(text.waitForConnection()) << "the text connection follows the media one";
    outgoing().tick();
    EXPECT_FALSE(outgoing().windowOpen());
    EXPECT_EQ(t->chat().caption(), "Text Chat - Bo");

    callee->send("UIF;2.5;False;");
    ASSERT_TRUE(waitUntil([&] { return session().peerVersion(); }));
    EXPECT_FALSE(session().realTime());

    // Placing another call lets this control connection go without undoing the new state.
    const auto mediaState = session().mediaState();
    outgoing().placeCall("127.0.0.1", peerPort, 0);
    EXPECT_EQ(callState(), CallStates::Establishing);
    EXPECT_EQ(session().mediaState(), mediaState);
    outgoing().cancel();

    mediaPeer->close();

    ASSERT_TRUE(waitUntil([&] { return !t->media().inCall(); }));
    EXPECT_TRUE(logged("Disconnected from 127.0.0.1"));
    EXPECT_TRUE(t.program.queryUnload());
}

TEST_F(CallTest, CallerSeesBusyNoAndNoAnswer)
{
    RawListener control(peerPort);
    outgoing().placeCall("127.0.0.1", peerPort, 0);
    RawConnection *callee = control.waitForConnection();
    ASSERT_TRUE(callee && callee->waitFor("RQC;"));
    callee->send("BSY");
    ASSERT_TRUE(waitUntil([&] { return callState() == CallStates::Busy; }));
    EXPECT_TRUE(logged("User at 127.0.0.1 busy."));
    EXPECT_TRUE(callee->waitClosed());
    outgoing().tick();
    EXPECT_EQ(outgoing().status(), "Busy");
    EXPECT_EQ(outgoing().cancelText(), "OK");
    outgoing().cancel();
    EXPECT_EQ(callState(), CallStates::Cancelled);
    EXPECT_FALSE(outgoing().windowOpen());

    outgoing().placeCall("127.0.0.1", peerPort, 0);
    callee = control.waitForConnection();
    ASSERT_TRUE(callee && callee->waitFor("RQC;"));
    callee->send("RRS;NO;");
    ASSERT_TRUE(waitUntil([&] { return callState() == CallStates::AnswerNo; }));
    EXPECT_TRUE(logged("Call Not Accepted from 127.0.0.1"));
    outgoing().tick();
    EXPECT_EQ(outgoing().status(), "Connection Response is NO");

    outgoing().placeCall("127.0.0.1", peerPort + 9, 0); // nobody there
    ASSERT_TRUE(waitUntil([&] { return callState() == CallStates::NoAnswer; }));
    outgoing().tick();
    EXPECT_EQ(outgoing().status(), "Did Not Answer");
}

TEST_F(CallTest, DoNotDisturbOnTheCalleeIsDidNotAnswerForTheCaller)
{
    signalling().setDoNotDisturb(true);
    outgoing().placeCall("127.0.0.1", base, 0); // ourselves, not answering
    ASSERT_TRUE(waitUntil([&] { return callState() == CallStates::NoAnswer; }));
    outgoing().tick();
    EXPECT_EQ(outgoing().status(), "Did Not Answer");
    EXPECT_FALSE(incoming().promptOpen());
}

TEST_F(CallTest, CallingOneselfPromptsInsteadOfBusyAndConnects)
{
    outgoing().placeCall("127.0.0.1", base, 0);
    ASSERT_TRUE(waitUntil([&] { return incoming().promptOpen(); }));
    EXPECT_FALSE(incoming().busyVisible());
    EXPECT_EQ(incoming().userName(), "Cleo");
    incoming().answerYes();
    ASSERT_TRUE(
        waitUntil([&] { return t->media().clientConnected() && t->media().servedConnected(); }));
    EXPECT_TRUE(t->media().inCall());
    EXPECT_EQ(sounds.played, QStringList{"ringin.wav"}) << "no second ring for a call to oneself";
    signalling().hangUp();
    ASSERT_TRUE(
        waitUntil([&] { return !t->media().clientConnected() && !t->media().servedConnected(); }));
    EXPECT_FALSE(t->media().inCall());
}

TEST_F(CallTest, AddressesThatCannotBeCalled)
{
    outgoing().placeCall("   ", 2000, 0);
    EXPECT_EQ(messages.info.last(),
              "Select a user on the list or enter an E-Mail or IP Address to place a call.");
    EXPECT_FALSE(outgoing().windowOpen());

    outgoing().placeCall("ann@example.org", 2000, 0);
    EXPECT_FALSE(outgoing().windowOpen()) << "no directory connection: nothing happens";
    EXPECT_EQ(callState(), CallStates::Idle);

    outgoing().placeCall("no-such-host.invalid", 2000, 0);
    ASSERT_TRUE(waitUntil([&] {
        return messages.info.last().startsWith("You have entered an invalid Host Address: 11001 ");
    }));
    EXPECT_EQ(callState(), CallStates::Cancelled);
    outgoing().tick();
    EXPECT_FALSE(outgoing().windowOpen());
}

TEST_F(CallTest, ProgressWindowCountsSecondsAndAnimates)
{
    outgoing().placeCall("127.0.0.1", peerPort + 9, 0);
    outgoing().cancel();
    session().placing();
    outgoing().placeCall("127.0.0.1", peerPort + 9, 0);
    outgoing().cancel();

    RawListener control(peerPort);
    outgoing().placeCall("127.0.0.1", peerPort, 0);
    ASSERT_TRUE(control.waitForConnection());
    ASSERT_TRUE(waitUntil([&] { return callState() == CallStates::Requesting; }));
    for (int i = 0; i < 3; ++i)
        outgoing().tick();
    EXPECT_EQ(outgoing().secondsText(), "");
    outgoing().tick();
    EXPECT_EQ(outgoing().secondsText(), "1 sec");
    EXPECT_EQ(outgoing().frame(), 4);
    session().emailNotFound();
    for (int i = 0; i < 4; ++i)
        outgoing().tick();
    EXPECT_EQ(outgoing().secondsText(), "IDLE");
    EXPECT_EQ(outgoing().status(), "Email address not found");
    EXPECT_EQ(outgoing().frame(), 0) << "an idle window stops on the first frame";
    outgoing().cancel();
}

TEST_F(CallTest, AnEmailAddressIsLookedUpOnTheDirectoryServer)
{
    const quint16 port = freeBasePort();
    RawListener directory(port);
    t->directory().connectDirectory("127.0.0.1", qint16(port));
    RawConnection *dir = directory.waitForConnection();
    ASSERT_TRUE(dir);
    ASSERT_TRUE(dir->take("INT<ET>")) << "the login and the welcome request come first";
    outgoing().placeCall("  Ann@Example.org ", 2000, 0);
    ASSERT_TRUE(dir->waitFor("<ET>"));
    EXPECT_EQ(dir->received(), "GEM;Ann@Example.org;<ET>");
    EXPECT_EQ(callState(), CallStates::LookingUpEmail);
    EXPECT_TRUE(outgoing().windowOpen());
    EXPECT_EQ(outgoing().userName(), "Ann@Example.org");
    EXPECT_EQ(outgoing().userLocation(), "Unknown");
    outgoing().tick();
    EXPECT_EQ(outgoing().status(), "Looking up Email Address");
    EXPECT_FALSE(signalling().calling()) << "never connected to directly";
}

TEST_F(CallTest, TenMegabytesOfJunkOnTheControlPortChangeNothing)
{
    auto junk = RawConnection::connectTo(base);
    ASSERT_TRUE(waitUntil([&] { return signalling().controlConnections() == 1; }));
    const QByteArray block(1024 * 1024, 'x');
    for (int i = 0; i < 10; ++i) {
        junk->send(block);
        QCoreApplication::processEvents();
    }
    junk->close();
    ASSERT_TRUE(waitUntil([&] { return signalling().controlConnections() == 0; }));
    EXPECT_FALSE(incoming().promptOpen()) << "all of it was read before the close was seen";
    auto genuine = call();
    ASSERT_TRUE(waitUntil([&] { return incoming().promptOpen(); }));
    EXPECT_EQ(incoming().userName(), "Ann");
}

TEST(CallInMemory, TwoProgramsCallEachOtherAndEitherEndsTheCall)
{
    // Both sides real, on an in-memory network: no ports, the same bytes.
    MemoryNetwork network;
    TestProgram ana(&network, 2000), bo(&network, 2000);
    ana.start();
    bo.start();
    ASSERT_EQ(bo.program.basePort(), 2004) << "the second program on the network steps up";
    ana->settings().Name = "Ana";
    ana->settings().Location = "Porto";
    ana->settings().AutoAccept = true;
    bo->settings().Name = "Bo";
    bo->settings().Location = "Oslo";
    bo->settings().EnableRTC = false;

    bo->outgoing().callTyped("127.0.0.1:2000");
    ASSERT_TRUE(waitUntil([&] { return ana->media().inCall() && bo->media().inCall(); }));
    EXPECT_TRUE(ana->chatLink().connected() ||
                waitUntil([&] { return ana->chatLink().connected(); }));
    EXPECT_TRUE(loggedIn(bo->log(), "Placed call to 127.0.0.1"));
    EXPECT_EQ(ana->chat().caption(), "Text Chat - Bo");
    EXPECT_EQ(bo->chat().caption(), "Text Chat - Ana");
    ASSERT_TRUE(waitUntil([&] { return ana->session().peerVersion(); }));
    EXPECT_FALSE(ana->session().realTime()) << "only one side has real-time chat on";
    // The welcome line travels as a chat line on the media connection.
    EXPECT_TRUE(waitUntil([&] { return bo->chat().incoming().contains("I can SEE you Too!"); }));

    ana->mainWindow().hangUp();
    ASSERT_TRUE(waitUntil([&] { return !bo->media().inCall(); }));
    EXPECT_FALSE(ana->media().inCall());
    EXPECT_TRUE(loggedIn(ana->log(), "Disconnected from 127.0.0.1"));
    EXPECT_TRUE(loggedIn(bo->log(), "Disconnected from 127.0.0.1"));
    EXPECT_FALSE(bo->chatLink().connected());
}
