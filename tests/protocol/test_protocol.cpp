// Every wire protocol's messages in both directions: each built to its exact bytes and those
// bytes parsed back to the same message; and lines a peer may send that are no message.
#include "protocol/callcontrol.h"
#include "protocol/directory.h"
#include "protocol/mediapacket.h"

#include <gtest/gtest.h>

using namespace CallControl;

namespace
{
QByteArray bytesOf(const Message &message)
{
    return std::visit(
        [](const auto &m) {
            if constexpr (std::is_same_v<std::decay_t<decltype(m)>, std::monostate>)
                return QByteArray();
            else
                return build(m);
        },
        message);
}
} // namespace

TEST(CallControl, EveryMessageToItsExactBytesAndBack)
{
    const std::pair<Message, QByteArray> cases[] = {
        {Request{"Ann", "Porto", "9:05"}, "RQC;Ann;Porto;9:05;"},
        {Request{"Zo\u00eb", "S\u00e3o Paulo", "23:59"}, "RQC;Zo\xc3\xab;S\xc3\xa3o Paulo;23:59;"},
        {Answer{true, "Bo", "Rome", "10:30"}, "RRS;YES;Bo;Rome;10:30;"},
        {Answer{}, "RRS;NO;"},
        {Busy{}, "BSY"},
        {Capability{"2.5", true}, "UIF;2.5;True;"},
        {Capability{"2.5", false}, "UIF;2.5;False;"},
    };
    for (const auto &[message, bytes] : cases) {
        EXPECT_EQ(bytesOf(message), bytes);
        EXPECT_TRUE(parse(bytes) == message) << bytes.toStdString();
    }
}

TEST(CallControl, LinesAPeerMaySendThatAreNoMessageOrAreReadSafely)
{
    for (const QByteArray &junk :
         {QByteArray("RQC;Ann;Porto;"), QByteArray("RQC;A;n;n;Porto;9:05;"),
          QByteArray("rqc;a;b;c;"), QByteArray("XYZ;1;2;3;"), QByteArray(""), QByteArray("RRS;"),
          QByteArray("RR"), QByteArray("\x00\xff\x01;;;;", 8)})
        EXPECT_TRUE(std::holds_alternative<std::monostate>(parse(junk))) << junk.toStdString();

    // Anything but exactly YES declines; BSY needs nothing after it.
    EXPECT_TRUE(parse("RRS;yes;Bo;Rome;1:00;") == Message(Answer{}));
    EXPECT_TRUE(parse("BSY;extra") == Message(Busy{}));
    // An answer cut short has empty fields where nothing came.
    EXPECT_TRUE(parse("RRS;YES;Bo;") == Message(Answer{true, "Bo", "", ""}));

    // Texts are cut and cannot carry line breaks into the log.
    const Message long_ = parse("RQC;" + QByteArray(100000, 'N') + ";A\r\nB;1;");
    const auto *request = std::get_if<Request>(&long_);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->name.size(), MaxPeerField);
    EXPECT_EQ(request->location, "A  B");
}

TEST(MediaPackets, FramingLengthsAndTheTextCut)
{
    EXPECT_EQ(MediaPacket::build("AUD", "\x01\x02"), QByteArray("AUD00002\x01\x02<E>"));
    EXPECT_EQ(MediaPacket::picture(QByteArray(99999, 'j')).size(), 8 + 99999 + 3);
    EXPECT_TRUE(MediaPacket::picture(QByteArray(100000, 'j')).isEmpty())
        << "too long for the length field";
    // A payload holding "<E>" is still read by its length.
    const QByteArray jpeg = QByteArray("\xff\xd8<E>\xff\xd9", 7);
    const QByteArray packet = MediaPacket::picture(jpeg);
    const QByteArray line = packet.left(packet.size() - 3);
    const MediaPacket::Header h = MediaPacket::header(line);
    EXPECT_EQ(h.tag, "KJP");
    EXPECT_EQ(h.declared, 7);
    EXPECT_EQ(line.mid(MediaPacket::HeaderBytes, h.declared), jpeg);

    // A line over 28,000 bytes is cut before a character, never inside one.
    const QString line28k = QString(27999, 'a') + QChar(0x00e9) + QStringLiteral("tail");
    const QByteArray text = MediaPacket::text(line28k);
    EXPECT_EQ(text.mid(3, 5), "27999");
    const QByteArray hello = MediaPacket::text(QStringLiteral("h\u00e9llo <there>"));
    const QByteArray helloLine = hello.left(hello.size() - 3);
    EXPECT_EQ(MediaPacket::textOf(helloLine, MediaPacket::header(helloLine)),
              QStringLiteral("h\u00e9llo <there>"));
}

TEST(MediaPackets, HeadersThatLieAreReadWithinWhatArrived)
{
    struct Case {
        QByteArray line;
        int declared;
        qsizetype length;
    };
    const Case cases[] = {
        {"KJP99999short", 99999, 13}, // never past what arrived
        {"TXT-0005abc", -5, 0},       {"TXT00000", 0, 0}, {"KJ", 0, 0}, {"", 0, 0},
        {"AUD00002xyz", 2, 10},
    };
    for (const Case &c : cases) {
        const MediaPacket::Header h = MediaPacket::header(c.line);
        EXPECT_EQ(h.declared, c.declared) << c.line.toStdString();
        EXPECT_EQ(h.length, c.length) << c.line.toStdString();
        EXPECT_LE(h.length, c.line.size());
    }
}

TEST(Directory, AnEmailLookupBothWays)
{
    const QByteArray bytes = Directory::build(Directory::EmailLookup{"ann@example.org"});
    EXPECT_EQ(bytes, "GEM;ann@example.org;<ET>");
    const auto lookup = Directory::parseEmailLookup(bytes.chopped(Directory::Terminator.size()));
    ASSERT_TRUE(lookup);
    EXPECT_EQ(lookup->address, "ann@example.org");
    EXPECT_FALSE(Directory::parseEmailLookup("GEM"));
    EXPECT_FALSE(Directory::parseEmailLookup("LS1;"));
}
