// Every wire protocol's messages in both directions: each built to its exact bytes and those
// bytes parsed back to the same message; and lines a peer may send that are no message.
#include "protocol/anymessage.h"
#include "protocol/callcontrol.h"
#include "protocol/chatline.h"
#include "protocol/directory.h"
#include "protocol/fields.h"
#include "protocol/mediapacket.h"
#include "protocol/pal.h"
#include "protocol/quickmessage.h"

#include <gtest/gtest.h>

using namespace CallControl;
namespace QM = QuickMessage;

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
        // A program that can encrypt says so in one more field, which older ones never read.
        {Answer{true, "Bo", "Rome", "10:30", true}, "RRS;YES;Bo;Rome;10:30;TLS13;"},
        {Capability{"2.5", true, true}, "UIF;2.5;True;TLS13;"},
    };
    for (const auto &[message, bytes] : cases) {
        EXPECT_EQ(buildAny(message), bytes);
        EXPECT_TRUE(parse(bytes) == message) << bytes.toStdString();
    }
    // The time a request or an answer carries: no leading zero on the hour.
    EXPECT_EQ(timeOfDay(QTime(9, 5)), "9:05");
    EXPECT_EQ(timeOfDay(QTime(0, 0)), "0:00");
    EXPECT_EQ(timeOfDay(QTime(17, 30)), "17:30");
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
    // Only the exact token offers encryption.
    EXPECT_TRUE(parse("RRS;YES;Bo;R;1:00;tls13;") == Message(Answer{true, "Bo", "R", "1:00"}));
    EXPECT_TRUE(parse("UIF;2.5;True;TLS13x;") == Message(Capability{"2.5", true}));

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

TEST(Directory, RequestsToTheirExactBytesAndBack)
{
    const Directory::Login login{
        4711, "Ann", "ann@example.org", "Porto", "hi", 0, false, true, "2.5", true, "v1.2", 2004};
    const std::pair<Directory::Request, QByteArray> cases[] = {
        {login, "LGN;4711;Ann;ann@example.org;Porto;hi;0;NO;YES;2.5;YES;NO;v1.2;2004;<ET>"},
        {Directory::Login{}, "LGN;-1;;;;;0;NO;NO;2.5;NO;NO;v1.2;2000;<ET>"},
        {Directory::Intro{}, "INT<ET>"},
        {Directory::ListRequest{}, "LS1<ET>"},
        {Directory::EmailLookup{"ann@example.org"}, "GEM;ann@example.org;<ET>"},
        {Directory::NewIdRequest{}, "RSN;<ET>"},
        {Directory::ReachCheck{2003}, "RCK;2003;<ET>"},
    };
    for (const auto &[request, bytes] : cases) {
        EXPECT_EQ(buildAny(request), bytes);
        EXPECT_TRUE(Directory::parseRequest(bytes.chopped(4)) == request) << bytes.toStdString();
    }
    for (const QByteArray &junk : {QByteArray("LGN;1;2;3;"), QByteArray("XYZ;"), QByteArray()})
        EXPECT_TRUE(std::holds_alternative<std::monostate>(Directory::parseRequest(junk)));
}

TEST(Directory, RepliesToTheirExactBytesAndBack)
{
    using namespace Directory;
    const User ann{7, "Ann", "Porto", "10.0.0.7", "hi", 0, true, false, 1, 2004};
    const User bo{1000001, "Bo", "Oslo", "10.0.0.8", "", 3, false, true, 0, 2000};
    const std::pair<Reply, QByteArray> cases[] = {
        {Notice{Notice::Intro, "Welcome"}, "INT;Welcome;<ET>"},
        {Notice{Notice::Message, "Maintenance at 5"}, "MSG;Maintenance at 5;<ET>"},
        {Notice{Notice::Busy, "Full"}, "BSY;Full;<ET>"},
        {Redirect{"dir2.example", "2020", "Go there"}, "RDM;;dir2.example;2020;Go there;<ET>"},
        {ServerList{{{"10.0.0.1", 2020, "Main"}, {"10.0.0.2", 80, "Backup"}}},
         "VCL;10.0.0.1;2020;Main;10.0.0.2;80;Backup;<ET>"},
        {UserList{7, 2, {ann, bo}},
         "LS1;7;2;7;Ann;Porto;10.0.0.7;hi;0;YES;NO;1;2004;1000001;Bo;Oslo;10.0.0.8;;3;NO;YES;0;"
         "2000;<ET>"},
        {EmailAnswer{"ann@example.org", "Ann", "Porto", "10.0.0.7", 2004},
         "GER;ann@example.org;Ann;Porto;10.0.0.7;2004;<ET>"},
        {ReachAnswer{2000, true}, "RCK;2000;YES;<ET>"},
        {ReachAnswer{2001, false}, "RCK;2001;NO;<ET>"},
    };
    for (const auto &[reply, bytes] : cases) {
        EXPECT_EQ(buildAny(reply), bytes);
        EXPECT_TRUE(parseReply(bytes.chopped(4)) == reply) << bytes.toStdString();
    }
    EXPECT_EQ(choiceText({"10.0.0.1", 2020, "Main"}), "10.0.0.1:2020  (Main)");
    // A hostile server's lists of a hundred thousand empty entries are read in one pass.
    const QByteArray empty(300000, ';');
    EXPECT_EQ(std::get<ServerList>(parseReply("VCL;" + empty)).servers.size(), 100000);
    EXPECT_EQ(std::get<UserList>(parseReply("LS1;" + empty)).users.size(), MaxUsers);
}

TEST(Directory, ShortListsJunkAndTooManyUsersAreReadSafely)
{
    using namespace Directory;
    // A record cut short reads as empty fields and zeros; "yes" is not "YES".
    const Reply shortList = parseReply("LS1;7;3;5;Eve;Rome;1.2.3.4;x;0;yes");
    const auto *list = std::get_if<UserList>(&shortList);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->online, 7);
    ASSERT_EQ(list->users.size(), 1);
    EXPECT_EQ(list->users[0].name, "Eve");
    EXPECT_FALSE(list->users[0].video);
    EXPECT_EQ(list->users[0].port, 0);

    // 600 users: the first 500 are kept.
    UserList many{600, 600, {}};
    for (int i = 0; i < 600; ++i) {
        User u;
        u.id = i + 1;
        u.name = QStringLiteral("U%1").arg(i + 1);
        many.users.append(u);
    }
    const Reply big = parseReply(build(many).chopped(4));
    ASSERT_EQ(std::get<UserList>(big).users.size(), MaxUsers);
    EXPECT_EQ(std::get<UserList>(big).users.last().name, "U500");

    for (const QByteArray &junk :
         {QByteArray("ls1;1;2;"), QByteArray("\x01\xff;;", 4), QByteArray("Z"), QByteArray()})
        EXPECT_TRUE(std::holds_alternative<std::monostate>(parseReply(junk)))
            << junk.toHex().toStdString();
    const Reply lookup = parseReply("GER;x@y;Ann\r\nForged;");
    EXPECT_EQ(std::get<EmailAnswer>(lookup).name, "Ann  Forged");
    EXPECT_FALSE(std::get<EmailAnswer>(parseReply("GER;x@y;;;0.0.0.0;0;")).found());
}

TEST(Directory, ServerAddressesAsTyped)
{
    struct Case {
        const char *text, *host;
        qint16 port;
    };
    const Case cases[] = {{"10.0.0.5", "10.0.0.5", 2010},
                          {"10.0.0.5:2020  (Main)", "10.0.0.5", 2020},
                          {"host:123456", "host", 12345},
                          {"host:20100", "host", 20100},
                          {"host:99999", "host", 9999}, // five digits past a port: four
                          {"host:", "host", 0}};
    for (const Case &c : cases) {
        QString host;
        qint16 port = 0;
        Directory::splitServerAddress(c.text, &host, &port);
        EXPECT_EQ(host, c.host) << c.text;
        EXPECT_EQ(port, c.port) << c.text;
    }
}

TEST(Pal, RepliesToTheirExactBytesAndBack)
{
    const std::pair<Pal::Reply, QByteArray> cases[] = {
        {Pal::NewId{4711}, "NSN;4711;<ET>"},
        {Pal::Move{"pal2.example", 2016}, "BSY;pal2.example;2016;<ET>"},
        {Directory::EmailAnswer{"eve@x.org", "Eve", "Rome", "0.0.0.0", 0},
         "GER;eve@x.org;Eve;Rome;0.0.0.0;0;<ET>"},
    };
    for (const auto &[reply, bytes] : cases) {
        EXPECT_EQ(buildAny(reply), bytes);
        EXPECT_TRUE(Pal::parseReply(bytes.chopped(4)) == reply) << bytes.toStdString();
    }
    EXPECT_TRUE(std::holds_alternative<std::monostate>(Pal::parseReply("INT;x;")));
}

TEST(QuickMessage, EveryLineToItsExactBytesAndBack)
{
    const QByteArray jpeg("\xff\xd8<E>;\x00\xff\xd9", 9);
    const std::pair<QM::Message, QByteArray> cases[] = {
        {QM::Request{4711}, "MSR;4711;<E>"},
        {QM::Accepted{}, "MRA;<E>"},
        {QM::Refused{}, "MRD;<E>"},
        {QM::Body{7, "Ann", "ann@x.org", "Porto", "08/12/2026 10:00:00", "Call me"},
         "MSB;7;Ann;ann@x.org;Porto;08/12/2026 10:00:00;Call me;<E>"},
        // A message of several lines keeps them; the text still cannot end its field or line.
        {QM::Body{8, "Bo", "bo@x.org", "Rome", "9:05", "Hi Ann,\r\nsee you\nat 5"},
         "MSB;8;Bo;bo@x.org;Rome;9:05;Hi Ann,\r\nsee you\nat 5;<E>"},
        {QM::Next{}, "MRN;<E>"},
        {QM::Picture{jpeg}, "MDI;9;" + jpeg + ";<E>"},
        {QM::AudioChunk{"\x01\x02"}, "MDA;2;\x01\x02;<E>"},
        {QM::AudioEnd{}, "MAF;<E>"},
        {QM::End{}, "MSE;<E>"},
    };
    QByteArray stream;
    std::vector<QM::Message> expected;
    for (const auto &[message, bytes] : cases) {
        EXPECT_EQ(buildAny(message), bytes);
        stream += bytes;
        expected.push_back(message);
    }
    // The whole exchange, a byte at a time: the picture's "<E>" does not cut it.
    QM::Reader reader;
    std::vector<QM::Message> read;
    for (char byte : stream)
        for (QM::Message &m : reader.feed(QByteArray(1, byte)))
            read.push_back(m);
    EXPECT_TRUE(read == expected);
    EXPECT_EQ(reader.buffered(), 0);
}

TEST(QuickMessage, LyingLengthsAndFloodsStayWithinTheLimits)
{
    struct Case {
        QByteArray stream;
        std::vector<QM::Message> messages;
    };
    const Case cases[] = {
        // Longer than what arrives: its bytes are waited for (a sender that lies stalls itself).
        {"MDA;1500;abc;<E>MAF;<E>MSE;<E>", {}},
        // Negative, absent and huge lengths: a line to its terminator, the payload limited.
        {"MDA;-5;abc;<E>", {QM::AudioChunk{}}},
        {"MDA;x;abc;<E>", {QM::AudioChunk{}}},
        {"MDI;999999;" + QByteArray(9000, 'p') + ";<E>", {QM::Picture{QByteArray(8000, 'p')}}},
        // A text with ';' arrives cut at it.
        {"MSB;x;A;B;C;T;one;two;<E>", {QM::Body{0, "A", "B", "C", "T", "one"}}},
        {QByteArray("XYZ;1;<E>\x00\xff<E>", 14), {std::monostate{}, std::monostate{}}},
    };
    for (const Case &c : cases) {
        QM::Reader reader;
        const std::vector<QM::Message> read = reader.feed(c.stream);
        if (c.messages.empty()) {
            EXPECT_TRUE(read.empty()) << c.stream.toStdString();
            EXPECT_EQ(reader.buffered(), c.stream.size());
            continue;
        }
        EXPECT_TRUE(read == c.messages) << c.stream.left(40).toStdString();
    }
    QM::Reader flood;
    for (int i = 0; i < 100 && !flood.overflowed(); ++i)
        flood.feed(QByteArray(4096, 'x'));
    EXPECT_TRUE(flood.overflowed());
    EXPECT_EQ(flood.buffered(), 0);
}

TEST(ChatLine, KeysAndBellsWholeCharacters)
{
    using ChatLine::Bell, ChatLine::Key, ChatLine::Line, ChatLine::BackspaceCode,
        ChatLine::EnterCode;
    const std::pair<Line, QByteArray> cases[] = {
        {Key{U'h'}, "Th;<E>"},
        {Key{U'\u00e9'}, "T\xc3\xa9;<E>"},
        {Key{U'\u20ac'}, "T\xe2\x82\xac;<E>"},
        {Key{U'\U0001F600'}, "T\xf0\x9f\x98\x80;<E>"},
        {Key{BackspaceCode}, "T\x08;<E>"},
        {Key{EnterCode}, "T\r;<E>"},
        {Bell{}, "BEL<E>"},
    };
    for (const auto &[line, bytes] : cases) {
        if (const auto *key = std::get_if<Key>(&line)) {
            EXPECT_EQ(ChatLine::build(*key), bytes);
        }
        EXPECT_TRUE(ChatLine::parse(bytes.chopped(3)) == line) << bytes.toHex().toStdString();
    }
    EXPECT_TRUE(ChatLine::parse(ChatLine::ringButton().chopped(3)) == Line(Bell{}));
    for (const QByteArray &junk : {QByteArray("T"), QByteArray("X;"), QByteArray()})
        EXPECT_TRUE(std::holds_alternative<std::monostate>(ChatLine::parse(junk)));
}

TEST(Fields, UserTextsCannotBreakTheirLineAndPeerTextsAreCutWhole)
{
    using Fields::fieldText;
    using Fields::peerText;
    const std::pair<QString, QByteArray> texts[] = {
        {"Ann", "Ann"},
        {"Ann; Bo", "Ann, Bo"},
        {"Ann\r\nForged", "Ann  Forged"},
        {"Bo<ET>LS1", "Bo(ET>LS1"},
        {"x<E>y", "x(E>y"},
        {"S\u00e3o Paulo", "S\xc3\xa3o Paulo"},
    };
    for (const auto &[text, bytes] : texts)
        EXPECT_EQ(fieldText(text), bytes) << text.toStdString();
    // A message's text keeps its line breaks and nothing else that would end its field or line.
    EXPECT_EQ(Fields::multiLineFieldText("a;b\r\n<E>\x01"), "a,b\r\n(E> ");
    EXPECT_EQ(CallControl::build(Request{"A;B", "C", "1:00"}), "RQC;A,B;C;1:00;")
        << "a ';' in a name no longer shifts the peer's fields";
    // Cut to the limit, but never inside a character.
    EXPECT_EQ(peerText("S\xc3\xa3o", 2), "S");
    EXPECT_EQ(peerText("S\xc3\xa3o", 3), "S\u00e3");
}
