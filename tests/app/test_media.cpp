// The media session against a raw peer on loopback, with the real engines and scripted devices:
// what leaves on each tick, what arriving packets do, and hostile packets.
#include "media/enginebindings.h"
#include "media/picturetarget.h"
#include "protocol/mediapacket.h"
#include "testsupport.h"

#include "callanalysis.h"

#include <QFile>
#include <gtest/gtest.h>

namespace
{

// A drawing target that keeps what it was given.
struct TestSurface : PictureTarget {
    std::atomic<int> draws = 0;
    int width = 0, height = 0;
    std::vector<uint8_t> bits;
    std::mutex lock;
    void drawPicture(const uint8_t *picture, int w, int h) override
    {
        std::lock_guard hold(lock);
        width = w;
        height = h;
        bits.assign(picture, picture + size_t(w) * size_t(h) * 3);
        ++draws;
    }
};

struct Packet {
    QByteArray tag, payload;
};

// Media packets in what a peer received, read by their length fields.
std::vector<Packet> packetsIn(const QByteArray &bytes)
{
    std::vector<Packet> out;
    qsizetype at = 0;
    while (at + MediaPacket::HeaderBytes <= bytes.size()) {
        const MediaPacket::Header h = MediaPacket::header(bytes.mid(at));
        const qsizetype end = at + MediaPacket::HeaderBytes + h.declared;
        if (h.declared < 0 || end + MediaPacket::Terminator.size() > bytes.size()) break;
        out.push_back({h.tag, bytes.mid(at + MediaPacket::HeaderBytes, h.declared)});
        at = end + MediaPacket::Terminator.size();
    }
    return out;
}

int count(const std::vector<Packet> &packets, const char *tag)
{
    return int(std::count_if(packets.begin(), packets.end(),
                             [&](const Packet &p) { return p.tag == tag; }));
}

QByteArray jpegOf(int width, int height, uint8_t shade)
{
    std::vector<uint8_t> picture(size_t(width) * size_t(height) * 3, shade);
    std::vector<uint8_t> jpeg(200000);
    const int n = qvd::QVIDCompressStill(picture.data(), int16_t(width), int16_t(height), 30,
                                         jpeg.data(), int32_t(jpeg.size()));
    return QByteArray(reinterpret_cast<const char *>(jpeg.data()), n);
}

// Asks the camera for pictures until one is taken.
bool pictureTaken(VideoPath &video)
{
    return waitUntil([&] {
        video.grab();
        return video.takePicture();
    });
}

QByteArray packet(const char *tag, const QByteArray &payload)
{
    return MediaPacket::build(tag, payload);
}

class MediaTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static QTemporaryDir dir;
        CallAnalysis::writeSpeechLikeWav(dir.filePath("speech.wav"), 6);
        qputenv("OVELA_CAMERA", "pattern:320x240:yuv12");
        qputenv("OVELA_MIC", ("wav:" + dir.filePath("speech.wav")).toUtf8());
        qputenv("OVELA_SPEAKER", ("wav:" + dir.filePath("speaker.wav")).toUtf8());
    }

    void SetUp() override
    {
        t->media().setIncomingTarget(&incoming);
        t.start();
        t->media().startCapture(&selfView);
        t->settings().Name = "Cleo";
        t->settings().Location = "Lisbon";
        t->settings().AutoAccept = true;
        t->settings().SendWelcome = false;
    }

    // This program takes a call from the raw peer; returns once the media connection is up.
    void takeCall(bool slowPeer = false)
    {
        control = RawConnection::connectTo(t.port());
        control->send("RQC;Ann;Porto;9:05;");
        ASSERT_TRUE(control->waitFor("RRS;YES;"));
        control->send("UIF;2.5;False;");
        media =
            slowPeer ? RawConnection::connectSmall(t.port(1)) : RawConnection::connectTo(t.port(1));
        ASSERT_TRUE(media);
        ASSERT_TRUE(waitUntil([&] { return t->media().inCall(); }));
    }
    std::vector<Packet> collectFor(int ms)
    {
        media->clear();
        QTest::qWait(ms);
        return packetsIn(media->received());
    }

    TestSurface incoming, selfView;
    TestProgram t;
    RecordingMessages &messages = t.messages;
    MediaSession &session = t->media();
    std::unique_ptr<RawConnection> control, media;
};

} // namespace

TEST_F(MediaTest, PicturesFlowAtMostOnePerTickAndStopWhileTheCameraIsPaused)
{
    ASSERT_TRUE(session.video().captureAvailable()) << messages.errors.join("|").toStdString();
    takeCall();
    const auto packets = collectFor(3000);
    const int pictures = count(packets, "KJP");

    EXPECT_GE(pictures, 20) << "about 13 pictures a second from the camera";
    EXPECT_LE(pictures, 3000 / MediaSession::TickMs + 1);
    for (const Packet &p : packets) {
        if (p.tag != "KJP") continue;
        int16_t w = 0, h = 0;
        std::vector<uint8_t> picture(921600);
        ASSERT_GT(qvd::QVIDUnCompressStill(reinterpret_cast<const uint8_t *>(p.payload.constData()),
                                           int32_t(p.payload.size()), &w, &h, picture.data()),
                  0);
        EXPECT_EQ(w, 320);
        EXPECT_EQ(h, 240);
        break;
    }

    session.video().switchCameraOff();
    // Text still goes; once this line has arrived, so has every picture sent before it.
    session.textQueue().add("paused");
    ASSERT_TRUE(media->take("TXT00006paused<E>"));
    EXPECT_EQ(count(collectFor(1000), "KJP"), 0) << "no pictures while the camera is paused";
    session.video().switchCameraOn();
    EXPECT_GT(count(collectFor(1000), "KJP"), 0);
}

TEST_F(MediaTest, SpeechGoesOutWhileTalkingAndTakesPriorityOverPictures)
{
    takeCall();
    session.talk(true);
    EXPECT_EQ(session.audio().microphoneOn(), true);
    const auto packets = collectFor(2000);
    session.talk(false);
    const int blocks = count(packets, "AUD");
    EXPECT_GE(blocks, 7) << "a block every 200 ms";
    EXPECT_LE(blocks, 12);
    // A tick that finds speech waiting grabs no picture, so each block costs one picture.
    const int ticks = 2000 / MediaSession::TickMs;
    EXPECT_LE(count(packets, "KJP") + blocks, ticks + 3);
    EXPECT_GE(count(packets, "KJP"), ticks - blocks - 6) << "pictures still flow between blocks";

    for (const Packet &p : packets) {
        if (p.tag == "AUD") {
            EXPECT_EQ(p.payload.size(), 1 + 10 * 33) << "1,600 samples at full rate";
            EXPECT_EQ(p.payload.at(0), 0);
        }
    }
    EXPECT_EQ(session.audio().microphoneOn(), false);
}

// A peer that stops reading: pictures are held back as soon as what was sent stops leaving, so
// the sender's buffers stay near empty; chat lines still go, in order; and pictures flow at full
// rate again as soon as the peer reads.
TEST_F(MediaTest, AStalledPeerHoldsPicturesBackAndTheCallRecovers)
{
    takeCall(true);
    media->socket()->setReadBufferSize(1); // the peer stops reading
    qint64 lastOut = -1;
    QElapsedTimer still;
    ASSERT_TRUE(waitUntil(
        [&] {
            if (session.totals().bytesOut != lastOut) {
                lastOut = session.totals().bytesOut;
                still.start();
            }
            return still.elapsed() > 8 * MediaSession::TickMs;
        },
        10000))
        << "pictures stop once the link holds what was sent";
    EXPECT_GT(session.totals().picturesHeldBack, 5);
    for (int i = 0; i < 5; ++i)
        session.textQueue().add(QStringLiteral("line %1").arg(i));
    ASSERT_TRUE(waitUntil([&] { return session.textQueue().empty(); }))
        << "chat lines are never held back";

    media->socket()->setReadBufferSize(0);
    ASSERT_TRUE(media->waitFor("TXT00006line 4<E>", 10000));
    QStringList lines;
    for (const Packet &p : packetsIn(media->received()))
        if (p.tag == "TXT") lines << QString::fromUtf8(p.payload);
    EXPECT_EQ(lines, (QStringList{"line 0", "line 1", "line 2", "line 3", "line 4"}));
    QTest::qWait(500); // what the buffers held comes in
    int pictures = 0;
    for (const Packet &p : collectFor(2000))
        pictures += p.tag == "KJP";
    EXPECT_GE(pictures, 24) << "back at the full 13.3 a second";
}

TEST_F(MediaTest, ArrivingPicturesAreDrawnAndTheDisplayFollowsTheirSize)
{
    takeCall();
    std::vector<QSize> sizes;
    QObject::connect(&session, &MediaSession::incomingPictureResized,
                     [&](int w, int h) { sizes.emplace_back(w, h); });
    media->send(packet("KJP", jpegOf(320, 240, 90)));
    ASSERT_TRUE(waitUntil([&] { return incoming.draws == 1; }));
    EXPECT_TRUE(sizes.empty()) << "320 x 240 is the starting size";
    media->send(packet("KJP", jpegOf(160, 120, 200)));
    ASSERT_TRUE(waitUntil([&] { return incoming.draws == 2; }));
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0], QSize(160, 120));
    EXPECT_EQ(incoming.width, 160);
    EXPECT_NEAR(incoming.bits[0], 200, 3);

    // A detailed 640 x 480 picture whose JPEG needs more than 16 bits of length.
    std::vector<uint8_t> noise(640 * 480 * 3);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = uint8_t((i * 2654435761u) >> 13);
    std::vector<uint8_t> jpeg(200000);
    const int n = qvd::QVIDCompressStill(noise.data(), 640, 480, 30, jpeg.data(), 200000);
    ASSERT_GT(n, 32767);
    const QByteArray big =
        MediaPacket::picture(QByteArray(reinterpret_cast<char *>(jpeg.data()), n));
    ASSERT_EQ(big.size(), 8 + n + 3);
    EXPECT_EQ(big.mid(3, 5).toInt(), n);
    media->send(big);
    ASSERT_TRUE(waitUntil([&] { return incoming.draws == 3; }));
    EXPECT_EQ(incoming.width, 640);
    EXPECT_EQ(sizes.back(), QSize(640, 480));
}

TEST_F(MediaTest, ArrivingTextIsAppendedAndTheConversationTrimmed)
{
    takeCall();
    t->chat().appendIncoming(QString(12001, 'x'));
    media->send(packet("TXT", "hello <there>"));
    ASSERT_TRUE(waitUntil([&] { return t->chat().incoming().endsWith("hello <there>\r\n"); }));
    EXPECT_EQ(t->chat().incoming().size(), 8000 + 15);
    // Notices the program adds itself (one per call prompt, say) are trimmed the same way.
    for (int i = 0; i < 100; ++i)
        t->chat().appendIncoming(QString(1000, 'c'));
    EXPECT_LE(t->chat().incoming().size(), ChatConversation::TrimAt + 1000);
}

TEST_F(MediaTest, ArrivingSpeechIsQueuedAndTheNewestReplacesTheLastWhenFull)
{
    AudioPath &audio = session.audio();
    ASSERT_TRUE(audio.available());
    std::vector<uint8_t> samples(1600, 128), block(2000);
    for (int i = 0; i < AudioPath::IncomingRecords + 1; ++i) {
        const int count = i == AudioPath::IncomingRecords ? 320 : 1600;
        const int n = qvd::QVIDCompressAudioGSM(samples.data(), int16_t(count), 0, block.data());
        audio.receive(block.data(), n);
    }
    EXPECT_EQ(audio.incomingWaiting(), AudioPath::IncomingRecords);
    EXPECT_EQ(audio.incoming(60).length, 320) << "the newest block took the last place";
    EXPECT_EQ(audio.incoming(59).length, 1600);
}

TEST_F(MediaTest, HostilePacketsDoNoHarm)
{
    takeCall();
    QByteArray junk(4096, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 131 + 7) & 0xff);
    const QByteArray hostile[] = {
        "KJP99999short<E>",                        // a length far beyond what came
        "AUD00500" + QByteArray(10, '\1') + "<E>", // audio shorter than declared
        "AUD00002\x07\x07<E>",                     // an unknown mode
        "TXT-0005abc<E>",
        "TXT00000<E>",
        "XYZ00010abcdefghij<E>",
        "<E>",
        "KJ<E>",
        "KJP00020" + QByteArray(20, 'j') + "<E>", // not a JPEG
        "VID00004\x01\x09\x00\x00<E>",            // a stream frame of an unknown size
        junk + "<E>",
        "KJP99999" + QByteArray(100000, 'z') + "<E>", // 100,000 bytes that are no picture
    };
    for (const QByteArray &p : hostile)
        media->send(p);
    media->send(QByteArray(300 * 1024, 'q')); // a line longer than any buffer
    media->send("<E>" + packet("TXT", "still fine"));
    ASSERT_TRUE(waitUntil([&] { return t->chat().incoming().endsWith("still fine\r\n"); }));
    EXPECT_TRUE(session.inCall());
    EXPECT_EQ(incoming.draws, 0);
}

TEST_F(MediaTest, A640PictureGoesWholeToTheSameVersionAndReducedToOthers)
{
    t.program.shutDown();
    qputenv("OVELA_CAMERA", "pattern:640x480:rgb24");
    TestProgram big;
    big->media().setIncomingTarget(&incoming);
    big.start();
    big->media().startCapture(&selfView);
    VideoPath &video = big->media().video();
    auto decodedSize = [](const QByteArray &kjp) {
        int16_t w = 0, h = 0;
        std::vector<uint8_t> picture(921600);
        qvd::QVIDUnCompressStill(reinterpret_cast<const uint8_t *>(kjp.constData()) + 8,
                                 int32_t(kjp.size() - 11), &w, &h, picture.data());
        return QSize(w, h);
    };
    for (bool sameVersion : {true, false}) {
        ASSERT_TRUE(pictureTaken(video));
        const QByteArray kjp = video.sendPicture(sameVersion);
        ASSERT_TRUE(kjp.startsWith("KJP"));
        EXPECT_EQ(decodedSize(kjp), sameVersion ? QSize(640, 480) : QSize(320, 240));
    }
    big.program.shutDown();
    qputenv("OVELA_CAMERA", "pattern:320x240:yuv12");
}

TEST_F(MediaTest, WithoutTheVideoEngineCaptureIsReportedUnavailable)
{
    VideoPath &video = session.video();
    std::vector<bool> availability;
    QObject::connect(&video, &VideoPath::captureAvailabilityChanged,
                     [&](bool on) { availability.push_back(on); });
    video.setEngineReady(false);
    video.startCapture(&selfView);
    EXPECT_EQ(availability, std::vector<bool>{false}) << "the self-view menu entry must hear of it";
    EXPECT_FALSE(video.cameraOn());
    EXPECT_EQ(video.deviceName(), "No Video Capture");
}

TEST_F(MediaTest, TheCaptionIsBurnedIntoThePictureUnlessItIsTooWide)
{
    VideoPath &video = session.video();
    t->settings().SendImageMsg = true;
    t->settings().ImageMsg = "Hi";
    ASSERT_TRUE(pictureTaken(video));
    // White letters on black in the first rows (the bottom of the picture), centred.
    const uint8_t *row = video.picture();
    int white = 0;
    for (int x = 0; x < 320; ++x)
        white += row[x * 3 + 3 * 320 * 5] > 200 ? 1 : 0;
    EXPECT_GT(white, 0);
    EXPECT_TRUE(t->settings().SendImageMsg);

    t->settings().ImageMsg = QString(60, 'W');
    ASSERT_TRUE(pictureTaken(video));
    EXPECT_FALSE(t->settings().SendImageMsg);
    EXPECT_EQ(t->settings().ImageMsg, "Previous message too long");

    // So is a text too long for the engine to render at all.
    t->settings().SendImageMsg = true;
    t->settings().ImageMsg = QString(5000, 'W');
    ASSERT_TRUE(pictureTaken(video));
    EXPECT_FALSE(t->settings().SendImageMsg);
    EXPECT_EQ(t->settings().ImageMsg, "Previous message too long");
}

TEST_F(MediaTest, AfterTheCallTheFiguresAndTheQueuesAreReset)
{
    takeCall();
    QStringList reset;
    QObject::connect(&session, &MediaSession::figuresReset, [&] { reset << "reset"; });
    session.textQueue().add("never sent");
    std::vector<uint8_t> samples(1600, 128), block(2000);
    const int n = qvd::QVIDCompressAudioGSM(samples.data(), 1600, 0, block.data());
    session.audio().receive(block.data(), n); // speech not yet played when the call ends
    media->close();
    control->close();
    ASSERT_TRUE(waitUntil([&] { return !session.inCall(); }));
    EXPECT_EQ(reset.size(), 1);
    EXPECT_TRUE(session.textQueue().empty());
    EXPECT_TRUE(session.audio().outgoing().empty());
    EXPECT_EQ(session.audio().incomingWaiting(), 0) << "it would play into the next call";

    EXPECT_TRUE(t->chat().incoming().endsWith("\r\n<End of Connection>\r\n"));
}
