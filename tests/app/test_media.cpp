// The media session against a raw peer on loopback, with the real engines and scripted devices:
// what leaves on each tick, what arriving packets do, and hostile packets.
#include "calls/program.h"
#include "qvdlldef.h"
#include "testsupport.h"

#include "callanalysis.h"

#include <QFile>
#include <gtest/gtest.h>

namespace
{

// A drawing surface that keeps what it was given.
struct TestSurface {
    RXVDrawSurface surface{sizeof(RXVDrawSurface), this, &TestSurface::draw};
    int draws = 0;
    int width = 0, height = 0;
    std::vector<uint8_t> bits;
    std::mutex lock;
    static void draw(RXVDrawSurface *s, const uint8_t *bits, int32_t w, int32_t h, int32_t, int32_t,
                     int32_t, int32_t)
    {
        auto *self = static_cast<TestSurface *>(s->user);
        std::lock_guard hold(self->lock);
        ++self->draws;
        self->width = w;
        self->height = h;
        self->bits.assign(bits, bits + size_t(w) * size_t(h) * 3);
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
    while (at + 8 <= bytes.size()) {
        const int length = bytes.mid(at + 3, 5).toInt();
        if (at + 8 + length + 3 > bytes.size()) break;
        out.push_back({bytes.mid(at, 3), bytes.mid(at + 8, length)});
        at += 8 + length + 3;
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
        return video.TakePicture();
    });
}

QByteArray packet(const char *tag, const QByteArray &payload)
{
    return QByteArray(tag) + QByteArray::number(payload.size()).rightJustified(5, '0') + payload +
           "<E>";
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
        program.settingsPath = folder.file("ovela.ini");
        program.media.setIncomingSurface(&incoming.surface);
        program.startUp(shell, QString());
        program.media.startCapture(&selfView.surface);
        program.settings.Name = "Cleo";
        program.settings.Location = "Lisbon";
        program.settings.AutoAccept = true;
        program.settings.SendWelcome = false;
    }
    void TearDown() override { program.shutDown(); }

    // This program takes a call from the raw peer; returns once the media connection is up.
    void takeCall(bool slowPeer = false)
    {
        control = RawConnection::connectTo(2000);
        control->send("RQC;Ann;Porto;9:05;");
        ASSERT_TRUE(control->waitFor("RRS;YES;"));
        control->send("UIF;2.5;False;");
        media = slowPeer ? RawConnection::connectSmall(2001) : RawConnection::connectTo(2001);
        ASSERT_TRUE(media);
        ASSERT_TRUE(waitUntil([&] { return program.media.inCall(); }));
    }
    std::vector<Packet> collectFor(int ms)
    {
        media->clear();
        QTest::qWait(ms);
        return packetsIn(media->received());
    }

    ScratchFolder folder;
    RecordingMessages messages;
    RecordingSounds sounds;
    RecordingShell shell;
    TestSurface incoming, selfView;
    Program program{messages, sounds};
    std::unique_ptr<RawConnection> control, media;
};

} // namespace

TEST_F(MediaTest, PicturesFlowAtMostOnePerTickAndStopWhileTheCameraIsPaused)
{
    ASSERT_TRUE(program.media.video.captureAvailable()) << messages.errors.join("|").toStdString();
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

    program.media.video.CameraOff();
    QTest::qWait(200);
    EXPECT_EQ(count(collectFor(1000), "KJP"), 0) << "no pictures while the camera is paused";
    program.media.textQueue().add("still here");
    const auto later = collectFor(500);
    ASSERT_EQ(count(later, "TXT"), 1) << "text still goes";
    program.media.video.CameraOn();
    EXPECT_GT(count(collectFor(1000), "KJP"), 0);
}

TEST_F(MediaTest, SpeechGoesOutWhileTalkingAndTakesPriorityOverPictures)
{
    takeCall();
    program.media.talk(true);
    EXPECT_EQ(program.session.microphoneState, 2);
    const auto packets = collectFor(2000);
    program.media.talk(false);
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
    EXPECT_EQ(program.session.microphoneState, 1);
}

TEST_F(MediaTest, ChatLinesWaitWhileThePeerIsNotReadingAndArriveInOrder)
{
    program.endpoints.ipdQvid.setSendCap(16 * 1024); // fills sooner than the usual 128 KiB
    takeCall(true);

    media->socket()->setReadBufferSize(1); // the peer stops reading
    QTest::qWait(1500);                    // pictures fill every buffer on the way
    EXPECT_GT(program.endpoints.ipdQvid.connected(1), 0);
    for (int i = 0; i < 5; ++i)
        program.media.textQueue().add(QStringLiteral("line %1").arg(i));
    QTest::qWait(500);
    EXPECT_GT(program.media.textQueue().waiting(), 0) << "unsent lines stay queued";
    media->socket()->setReadBufferSize(0);
    ASSERT_TRUE(waitUntil([&] { return program.media.textQueue().empty(); }, 10000));
    QTest::qWait(300);
    QStringList lines;
    for (const Packet &p : packetsIn(media->received()))
        if (p.tag == "TXT") lines << QString::fromUtf8(p.payload);
    EXPECT_EQ(lines, (QStringList{"line 0", "line 1", "line 2", "line 3", "line 4"}));
}

TEST_F(MediaTest, ArrivingPicturesAreDrawnAndTheDisplayFollowsTheirSize)
{
    takeCall();
    std::vector<QSize> sizes;
    QObject::connect(&program.media, &MediaSession::incomingPictureResized,
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
    const QByteArray big = mediaPacket("KJP", QByteArray(reinterpret_cast<char *>(jpeg.data()), n));
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
    program.chat.appendIncoming(QString(12001, 'x'));
    media->send(packet("TXT", "hello <there>"));
    ASSERT_TRUE(waitUntil([&] { return program.chat.incoming().endsWith("hello <there>\r\n"); }));
    EXPECT_EQ(program.chat.incoming().size(), 8000 + 15);
    // Notices the program adds itself (one per call prompt, say) are trimmed the same way.
    for (int i = 0; i < 100; ++i)
        program.chat.appendIncoming(QString(1000, 'c'));
    EXPECT_LE(program.chat.incoming().size(), ChatLink::TrimAt + 1000);
}

TEST_F(MediaTest, ArrivingSpeechIsQueuedAndTheNewestReplacesTheLastWhenFull)
{
    AudioPath &audio = program.media.audio;
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
    ASSERT_TRUE(waitUntil([&] { return program.chat.incoming().endsWith("still fine\r\n"); }));
    EXPECT_TRUE(program.media.inCall());
    EXPECT_EQ(incoming.draws, 0);
}

TEST_F(MediaTest, A640PictureGoesWholeToTheSameVersionAndReducedToOthers)
{
    program.shutDown();
    qputenv("OVELA_CAMERA", "pattern:640x480:rgb24");
    Program big{messages, sounds};
    big.settingsPath = folder.file("big.ini");
    big.startUp(shell, QString());
    big.media.startCapture(&selfView.surface);
    VideoPath &video = big.media.video;
    auto decodedSize = [](const QByteArray &kjp) {
        int16_t w = 0, h = 0;
        std::vector<uint8_t> picture(921600);
        qvd::QVIDUnCompressStill(reinterpret_cast<const uint8_t *>(kjp.constData()) + 8,
                                 int32_t(kjp.size() - 11), &w, &h, picture.data());
        return QSize(w, h);
    };
    for (bool sameVersion : {true, false}) {
        ASSERT_TRUE(pictureTaken(video));
        const QByteArray kjp = video.SendPicture(sameVersion);
        ASSERT_TRUE(kjp.startsWith("KJP"));
        EXPECT_EQ(decodedSize(kjp), sameVersion ? QSize(640, 480) : QSize(320, 240));
    }
    big.shutDown();
    qputenv("OVELA_CAMERA", "pattern:320x240:yuv12");
}

TEST_F(MediaTest, WithoutTheVideoEngineCaptureIsReportedUnavailable)
{
    VideoPath &video = program.media.video;
    std::vector<bool> availability;
    QObject::connect(&video, &VideoPath::captureAvailabilityChanged,
                     [&](bool on) { availability.push_back(on); });
    video.setEngineReady(false);
    video.StartCapture(&selfView.surface);
    EXPECT_EQ(availability, std::vector<bool>{false}) << "the self-view menu entry must hear of it";
    EXPECT_FALSE(video.cameraOn());
    EXPECT_EQ(video.deviceName(), "No Video Capture");
}

TEST_F(MediaTest, TheCaptionIsBurnedIntoThePictureUnlessItIsTooWide)
{
    VideoPath &video = program.media.video;
    program.settings.SendImageMsg = true;
    program.settings.ImageMsg = "Hi";
    ASSERT_TRUE(pictureTaken(video));
    // White letters on black in the first rows (the bottom of the picture), centred.
    const uint8_t *row = video.picture();
    int white = 0;
    for (int x = 0; x < 320; ++x)
        white += row[x * 3 + 3 * 320 * 5] > 200 ? 1 : 0;
    EXPECT_GT(white, 0);
    EXPECT_TRUE(program.settings.SendImageMsg);

    program.settings.ImageMsg = QString(60, 'W');
    ASSERT_TRUE(pictureTaken(video));
    EXPECT_FALSE(program.settings.SendImageMsg);
    EXPECT_EQ(program.settings.ImageMsg, "Previous message too long");

    // So is a text too long for the engine to render at all.
    program.settings.SendImageMsg = true;
    program.settings.ImageMsg = QString(5000, 'W');
    ASSERT_TRUE(pictureTaken(video));
    EXPECT_FALSE(program.settings.SendImageMsg);
    EXPECT_EQ(program.settings.ImageMsg, "Previous message too long");
}

TEST_F(MediaTest, AfterTheCallTheFiguresAndTheQueuesAreReset)
{
    takeCall();
    QStringList reset;
    QObject::connect(&program.media, &MediaSession::figuresReset, [&] { reset << "reset"; });
    program.media.textQueue().add("never sent");
    std::vector<uint8_t> samples(1600, 128), block(2000);
    const int n = qvd::QVIDCompressAudioGSM(samples.data(), 1600, 0, block.data());
    program.media.audio.receive(block.data(), n); // speech not yet played when the call ends
    media->close();
    control->close();
    ASSERT_TRUE(waitUntil([&] { return !program.media.inCall(); }));
    EXPECT_EQ(reset.size(), 1);
    EXPECT_TRUE(program.media.textQueue().empty());
    EXPECT_TRUE(program.media.audio.outgoing().empty());
    EXPECT_EQ(program.media.audio.incomingWaiting(), 0) << "it would play into the next call";

    EXPECT_TRUE(program.chat.incoming().endsWith("\r\n<End of Connection>\r\n"));
}
