// The options that act on the media at once, with the real engines and scripted devices: the audio
// test, the speech compression on the wire, the volume and the sound devices kept in their file,
// and the camera switched live.
#include "callanalysis.h"
#include "media/enginebindings.h"
#include "shell/mainwindowmodel.h"
#include "shell/sounddevices.h"
#include "testsupport.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace
{

class MediaOptionsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static QTemporaryDir dir;
        CallAnalysis::writeSpeechLikeWav(dir.filePath("speech.wav"), 6);
        speaker = dir.filePath("speaker.wav");
        qputenv("OVELA_CAMERA", "pattern:320x240:yuv12");
        qputenv("OVELA_MIC", ("wav:" + dir.filePath("speech.wav")).toUtf8());
        qputenv("OVELA_SPEAKER", ("wav:" + speaker).toUtf8());
    }
    void SetUp() override
    {
        t.start();
        t->media().startCapture(nullptr);
        t->settings().AutoAccept = true;
        t->settings().SendWelcome = false;
    }
    void takeCall()
    {
        control = RawConnection::connectTo(t.port());
        control->send("RQC;Ann;Porto;9:05;");
        ASSERT_TRUE(control->waitFor("RRS;YES;"));
        control->send("UIF;2.5;False;");
        media = RawConnection::connectTo(t.port(1));
        ASSERT_TRUE(media && waitUntil([&] { return t->media().inCall(); }));
    }
    // The mode byte of the next speech block the peer receives.
    int nextSpeechMode()
    {
        media->clear();
        t->mainWindow().talkHeld(true);
        const bool got = waitUntil([&] { return media->received().contains("AUD"); });
        t->mainWindow().talkHeld(false);
        if (!got) return -1;
        const QByteArray bytes = media->received();
        const qsizetype at = bytes.indexOf("AUD") + 8; // tag and five digits of length
        return at < bytes.size() ? int(uint8_t(bytes[at])) : -1;
    }

    static inline QString speaker;
    TestProgram t;
    MediaOptions &options = t->options().media();
    std::unique_ptr<RawConnection> control, media;
};

} // namespace

TEST_F(MediaOptionsTest, TheAudioTestRecordsPlaysBackAndGivesWayToACall)
{
    ASSERT_TRUE(options.hasAudio());
    QSignalSpy progress(&options, &MediaOptions::testProgress);
    options.recordTest();
    EXPECT_TRUE(options.recording());
    ASSERT_TRUE(waitUntil([&] { return options.testBlocks() >= 3; }));
    ASSERT_TRUE(waitUntil([&] { return progress.count() > 0 && progress.last()[0].toInt() >= 3; }))
        << "the main timer shows the recording's progress";
    options.stopTest();
    EXPECT_FALSE(options.recording());
    EXPECT_LT(options.testBlocks(), MediaOptions::TestBlocks);

    const qint64 before = QFileInfo(speaker).size();
    options.playTest();
    EXPECT_TRUE(waitUntil([&] { return QFileInfo(speaker).size() > before + 1600; }))
        << "what was recorded is heard";

    // An output that cannot be opened shows the speaker as unusable until one opens again.
    ASSERT_TRUE(waitUntil([&] { return !t->media().audio().speakerOpen(); }, 10000));
    qputenv("OVELA_SPEAKER", "wav:/nonexistent/speaker.wav");
    options.playTest();
    EXPECT_EQ(t->mainWindow().speakerLight(), MainWindowModel::Light::NoDevice);
    qputenv("OVELA_SPEAKER", ("wav:" + speaker).toUtf8());
    options.playTest();
    EXPECT_EQ(t->mainWindow().speakerLight(), MainWindowModel::Light::On);
    options.endTest();
    EXPECT_EQ(options.testBlocks(), 0);
    EXPECT_FALSE(t->media().audio().audioTest);

    takeCall();
    options.recordTest();
    EXPECT_EQ(t.messages.errors.last(), MediaOptions::TestRefused);
    EXPECT_FALSE(t->media().audio().microphoneOn());
}

TEST_F(MediaOptionsTest, RadioQualitySendsHalfRateSpeechAtOnce)
{
    takeCall();
    EXPECT_EQ(nextSpeechMode(), 0);
    options.setAudioMode(AudioPath::RadioQuality);
    EXPECT_EQ(nextSpeechMode(), 1);
    options.setQualityLow(false);
    EXPECT_FALSE(t->settings().VQualityLow);
}

TEST_F(MediaOptionsTest, VolumeAndDevicesAreKeptInTheirOwnFile)
{
    options.setVolumeStep(3);
    EXPECT_EQ(qvd::QVIDGetVolumeOut(), 30);
    EXPECT_EQ(options.volumeStep(), 3);
    options.chooseSoundDevice(false, "plughw:CARD=Headset");
    const QString file = QFileInfo(t->settingsPath()).dir().filePath(SoundDevices::FileName);
    QStringList lines;
    ASSERT_TRUE(TextFile::readLines(file, &lines));
    EXPECT_EQ(lines,
              (QStringList{"Recording=default", "Playback=plughw:CARD=Headset", "Volume=30"}));
    EXPECT_EQ(options.soundDevices(false).value(0).name, "default");

    // A file that cannot be read is set aside and reported; the defaults serve.
    TextFile::writeLines(file, {"Playback"});
    RecordingSounds sounds;
    AudioEngine engine(t.messages);
    SoundDevices again(engine, sounds, t.messages, QFileInfo(file).absolutePath());
    again.load();
    EXPECT_EQ(again.chosen(false), "default");
    EXPECT_TRUE(QFileInfo::exists(file + ".damaged"));
    EXPECT_TRUE(t.messages.errors.last().contains("could not be read"));
}

TEST_F(MediaOptionsTest, TheCameraIsListedDescribedAndSwitchedLive)
{
    VideoPath &video = t->media().video();
    ASSERT_TRUE(options.hasVideo());
    EXPECT_EQ(options.videoDevices().value(0), "OVELA test pattern 320x240 yuv12");
    const VideoEngine::CaptureFormat f = options.videoFormat();
    ASSERT_TRUE(f.valid);
    EXPECT_EQ(f.size, QSize(320, 240));
    EXPECT_EQ(f.bits, 12);
    EXPECT_EQ(f.compression, 0x3449);
    EXPECT_FALSE(f.formatDialog || f.sourceDialog || f.displayDialog);

    EXPECT_FALSE(video.switchDriver(options.videoDevices().size())) << "no such camera";
    QSignalSpy camera(&video, &VideoPath::cameraChanged);
    options.chooseVideoDevice(0);
    EXPECT_EQ(camera.count(), 0) << "the running camera is left alone";
    EXPECT_TRUE(video.switchDriver(0));
    EXPECT_TRUE(video.captureAvailable());
    EXPECT_TRUE(waitUntil([&] {
        video.grab();
        return video.takePicture();
    })) << "pictures come from the restarted camera";
}

TEST_F(MediaOptionsTest, RealTimeChatCannotBeSwitchedDuringAChat)
{
    takeCall();
    auto text = RawConnection::connectTo(t.port(3));
    ASSERT_TRUE(text && waitUntil([&] { return t->chatLink().connected(); }));
    OptionsModel &dialog = t->options();
    EXPECT_FALSE(dialog.realTimeChatChangeAllowed(!t->settings().EnableRTC));
    EXPECT_EQ(t.messages.boxes.last(), "This option cannot be changed while you are in a "
                                       "connection. Please disconnect to set this option.");
    EXPECT_TRUE(dialog.realTimeChatChangeAllowed(t->settings().EnableRTC)) << "no change, no harm";
}

TEST_F(MediaOptionsTest, TheActivityAnimationFinishesItsCycleAfterTheCall)
{
    MediaSession &session = t->media();
    takeCall();
    ASSERT_TRUE(waitUntil([&] { return session.animationFrame() == 3; }));
    QList<int> after;
    QObject::connect(&session, &MediaSession::callEnded, [&] { after << -1; });
    QObject::connect(&session, &MediaSession::animationFrameChanged,
                     [&](int frame) { after << frame; });
    t->mainWindow().hangUp();
    ASSERT_TRUE(waitUntil([&] { return !session.inCall() && session.animationFrame() == 0; }));
    const qsizetype end = after.indexOf(-1);
    ASSERT_GE(end, 0);
    EXPECT_EQ(after.mid(end + 1).constLast(), 0);
    for (qsizetype i = end + 2; i < after.size(); ++i)
        EXPECT_EQ(after[i], (after[i - 1] + 1) % MediaSession::AnimationFrames) << "one by one";
}
