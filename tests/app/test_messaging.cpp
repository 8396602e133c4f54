// Quick messages against a raw sender that checks every byte, between two programs, and kept
// across a restart; and real-time chat between two programs.
#include "messaging/messagestore.h"
#include "platform/memorytransport.h"
#include "protocol/chatline.h"
#include "protocol/quickmessage.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace
{

class MessageTest : public ::testing::Test
{
protected:
    void SetUp() override { t.start(); }
    std::unique_ptr<RawConnection> sender()
    {
        auto c = RawConnection::connectTo(t.port(2));
        EXPECT_TRUE(c);
        return c;
    }
    QuickMessageReceiver &receiver() { return t->quickMessages(); }

    TestProgram t;
    const QByteArray picture = QByteArray("\xff\xd8<E>;jpeg<E>\xff\xd9", 15);
};

} // namespace

TEST_F(MessageTest, AWholeMessageIsAnsweredStepByStepKeptAndOpened)
{
    QSignalSpy indicator(&receiver(), &QuickMessageReceiver::indicatorChanged);
    auto c = sender();
    c->send("MSR;7;<E>");
    ASSERT_TRUE(c->take("MRA;<E>"));
    c->send("MSB;7;Ann;ann@x.org;Porto;08/12/2026 10:00;Hello there;<E>");
    ASSERT_TRUE(c->take("MRN;<E>"));
    EXPECT_EQ(receiver().state(1), QuickMessageReceiver::State::Receiving);
    c->send("MDI;15;" + picture + ";<E>");
    ASSERT_TRUE(c->take("MRN;<E>"));
    c->send("MDA;2;\x01\x02;<E>MDA;3;<E>;<E>MAF;<E>");
    ASSERT_TRUE(c->take("MRN;<E>"));
    c->send("MSE;<E>");
    ASSERT_TRUE(c->waitClosed()) << "the recipient closes the connection at the end";
    EXPECT_EQ(c->received(), "") << "nothing answers the end";
    EXPECT_EQ(t.sounds.played, QStringList{"inmsg.wav"});
    ASSERT_FALSE(indicator.isEmpty());
    EXPECT_TRUE(indicator.last()[0].toBool());

    ReceivedMessage m;
    ASSERT_TRUE(receiver().openNextMessage(&m));
    EXPECT_EQ(m.senderId, 7);
    EXPECT_EQ(m.name, "Ann");
    EXPECT_EQ(m.address, "127.0.0.1");
    EXPECT_EQ(m.text, "Hello there");
    EXPECT_EQ(m.picture, picture) << "a payload holding \"<E>\" arrives whole";
    EXPECT_EQ(m.audio, (QList<QByteArray>{"\x01\x02", "<E>"}));
    EXPECT_FALSE(indicator.last()[0].toBool());
    EXPECT_EQ(receiver().state(1), QuickMessageReceiver::State::Free);
}

TEST_F(MessageTest, RefusedSendersAndDisabledMessagesGetNoSlot)
{
    t->refuseList().add({7, "Ann", "ann@x.org"});
    for (bool disabled : {false, true}) {
        t->settings().MessagingDisable = disabled;
        auto c = sender();
        c->send(QByteArray("MSR;") + (disabled ? "8" : "7") + ";<E>");
        ASSERT_TRUE(c->take("MRD;<E>"));
        EXPECT_EQ(receiver().state(1), QuickMessageReceiver::State::Free);
    }
    // A request whose ID is no number reads as 0 and is not refused.
    t->settings().MessagingDisable = false;
    auto c = sender();
    c->send("MSR;abc;<E>");
    EXPECT_TRUE(c->take("MRA;<E>"));
}

TEST_F(MessageTest, TenSlotsAtMostAndASlotFreedWhenItsSenderGoes)
{
    receiver().setIdleTimeout(300);
    std::vector<std::unique_ptr<RawConnection>> busy;
    for (int i = 0; i < QuickMessage::Slots; ++i) {
        busy.push_back(sender());
        busy.back()->send("MSB;1;A;a;L;T;x;<E>");
        ASSERT_TRUE(busy.back()->take("MRN;<E>"));
    }
    auto eleventh = sender();
    EXPECT_TRUE(eleventh->waitClosed()) << "no free slot: closed at once";

    busy[3]->close(); // a sender gone before its end frees its slot
    ASSERT_TRUE(
        waitUntil([&] { return receiver().state(4) == QuickMessageReceiver::State::Free; }));
    auto next = sender();
    next->send("MSR;2;<E>");
    ASSERT_TRUE(next->take("MRA;<E>"));
    // A sender that stops sending is let go.
    EXPECT_TRUE(next->waitClosed(3000));
    EXPECT_TRUE(busy[0]->waitClosed(3000));
    EXPECT_EQ(receiver().waitingCount(), 0);

    // So is one that never finishes, however often a byte of it comes.
    receiver().setTimeLimit(600);
    auto trickle = sender();
    trickle->send("MSB;1;A;a;L;T;");
    EXPECT_TRUE(waitUntil([&] {
        trickle->send("x");
        return !trickle->open();
    }));
    EXPECT_EQ(receiver().state(1), QuickMessageReceiver::State::Free);
}

TEST_F(MessageTest, AnUnopenedMessageOutlivesTheProgram)
{
    auto c = sender();
    c->send("MSB;9;Eve;eve@x.org;Rome;T;Kept;<E>");
    ASSERT_TRUE(c->take("MRN;<E>"));
    c->send("MDI;15;" + picture + ";<E>");
    ASSERT_TRUE(c->take("MRN;<E>"));
    c->send("MSE;<E>");
    ASSERT_TRUE(c->waitClosed());
    t.program.shutDown();

    // The next run in the same folder has it waiting.
    TestProgram again;
    QFile::copy(t.folder.file(MessageStore::FileName), again.folder.file(MessageStore::FileName));
    again.start();
    EXPECT_TRUE(again->quickMessages().messageWaiting());
    ReceivedMessage m;
    ASSERT_TRUE(again->quickMessages().openNextMessage(&m));
    EXPECT_EQ(m.text, "Kept");
    EXPECT_EQ(m.picture, picture);
    again.program.shutDown();
    TestProgram third;
    QFile::copy(again.folder.file(MessageStore::FileName),
                third.folder.file(MessageStore::FileName));
    third.start();
    EXPECT_FALSE(third->quickMessages().messageWaiting()) << "an opened message is gone";

    // A damaged file is set aside and reported, never fatal.
    QList<ReceivedMessage> read;
    EXPECT_FALSE(MessageStore::decode("not a message file", &read));
    EXPECT_TRUE(MessageStore::decode(MessageStore::encode({m}), &read));
    EXPECT_EQ(read, QList<ReceivedMessage>{m});
    // A voice clip whose chunk count is damaged (here to 2.9 billion) is no reason to make room
    // for that many chunks.
    QByteArray damaged = MessageStore::encode({m});
    damaged.replace(damaged.size() - 4, 4, QByteArray("\xae\xd2\x00\x9a", 4));
    EXPECT_FALSE(MessageStore::decode(damaged, &read));
}

namespace
{
// Two programs on an in-memory network, Bo (2004) and Ana (2000, accepting calls by itself).
struct TwoPrograms : ::testing::Test {
    void SetUp() override
    {
        ana.start();
        bo.start();
        ana->settings().Name = "Ana";
        ana->settings().AutoAccept = true;
        bo->settings().Name = "Bo";
        bo->settings().EMail = "bo@x.org";
    }
    void call()
    {
        bo->outgoing().callTyped("127.0.0.1:2000");
        ASSERT_TRUE(
            waitUntil([&] { return ana->chatLink().connected() && bo->chatLink().connected(); }));
        ASSERT_TRUE(waitUntil([&] { return bo->session().peerVersion(); }));
    }
    MemoryNetwork network;
    TestProgram ana{&network, 2000}, bo{&network, 2000};
};
} // namespace

TEST_F(TwoPrograms, AComposedMessageReachesTheOtherProgram)
{
    bo->identity().setUserId(42);
    auto composer = bo->messaging().compose({"Ana", "Porto", "127.0.0.1", 2000});
    QSignalSpy finished(composer.get(), &MessageComposer::finished);
    QStringList statuses;
    QObject::connect(composer.get(), &MessageComposer::statusChanged,
                     [&](const QString &s) { statuses << s; });
    composer->send("Hi Ana; it is Bo");
    ASSERT_TRUE(waitUntil([&] { return ana->quickMessages().messageWaiting(); }));
    ASSERT_TRUE(waitUntil([&] { return finished.count() == 1; }));
    EXPECT_EQ(statuses, (QStringList{"Establishing Connection...", "Connection Established",
                                     "Sending Message"}));
    ReceivedMessage m;
    ASSERT_TRUE(ana->quickMessages().openNextMessage(&m));
    EXPECT_EQ(m.senderId, 42);
    EXPECT_EQ(m.email, "bo@x.org");
    EXPECT_EQ(m.text, "Hi Ana it is Bo") << "';' never reaches the field";
}

TEST_F(TwoPrograms, RealTimeChatSendsEachKeyAndTheBell)
{
    call();
    ASSERT_TRUE(bo->session().realTime()) << "both have real-time chat on";
    const qsizetype before = bo->chat().incoming().size();
    for (char32_t key : {U'h', U'i', ChatLine::BackspaceCode, ChatLine::EnterCode, U'\u00e9'})
        EXPECT_TRUE(bo->chat().keyTyped(key, QString())) << "the pane takes the key too";
    ASSERT_TRUE(
        waitUntil([&] { return ana->chat().incoming().endsWith(QStringLiteral("h\r\n\u00e9")); }));
    EXPECT_EQ(bo->chat().incoming().size(), before) << "nothing in the local pane";
    ana.sounds.played.clear();
    EXPECT_TRUE(bo->chat().bellKey());
    ASSERT_TRUE(waitUntil([&] { return ana.sounds.played.contains("chatbell.wav"); }));
}

TEST_F(TwoPrograms, LineModeWhenOneSideHasRealTimeChatOff)
{
    ana->settings().EnableRTC = false;
    call();
    EXPECT_FALSE(bo->session().realTime());
    EXPECT_FALSE(bo->chat().keyTyped(ChatLine::EnterCode, "a whole line"))
        << "Enter sends the line and is not typed into the pane";
    ASSERT_TRUE(waitUntil([&] { return ana->chat().incoming().endsWith("a whole line\r\n"); }));
    EXPECT_TRUE(bo->chat().incoming().contains("> a whole line\r\n"));
}
