// A quick message between two real programs: one records a voice clip from its scripted
// microphone, takes a picture from its scripted camera and sends; the other receives it, keeps
// it through a restart, and when it is opened shows the picture that was sent and plays the
// clip through its scripted speaker.
#include "callanalysis.h"
#include "callrunner.h"
#include "freeport.h"
#include "messaging/messagestore.h"
#include "rxvlib11.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace
{

// Either side, started with Bo's settings (only the sender's name and address are checked) and a
// pal server nobody answers on.
void start(CallRunner::Program &p, quint16 basePort, QMap<QString, QString> env)
{
    env.insert(QStringLiteral("OVELA_PAL_HOST"),
               QStringLiteral("127.0.0.1:%1").arg(freeBasePort()));
    p.start(QStringLiteral(OVELA_BINARY),
            "[Personal]\nName=Bo Smith\nEMail=bo@example.org\nLocation=Oslo\n",
            {QStringLiteral("--base-port"), QString::number(basePort)}, env);
}

QList<ReceivedMessage> unopened(const QString &path)
{
    QFile f(path);
    QList<ReceivedMessage> messages;
    if (f.open(QIODevice::ReadOnly)) MessageStore::decode(f.readAll(), &messages);
    return messages;
}

// The test pattern frame k as the sender's camera made it, reduced to 80 x 60 as a message's.
QImage patternThumbnail(int k)
{
    std::vector<uint8_t> frame(320 * 240 * 3), thumb(80 * 60 * 3);
    QVIDTestPattern("rgb24", 320, 240, k, frame.data(), int32_t(frame.size()));
    QVIDDownSampleImg(frame.data(), 320, 240, thumb.data(), 80, 60);
    return QImage(thumb.data(), 80, 60, 80 * 3, QImage::Format_BGR888).mirrored(false, true);
}

} // namespace

TEST(TwoProgramsAndAMessage, TextPictureAndVoiceArriveAndOutliveARestart)
{
    QTemporaryDir shared;
    const QString speech = shared.filePath(QStringLiteral("speech.wav"));
    ASSERT_TRUE(CallAnalysis::writeSpeechLikeWav(speech, 10));
    const quint16 anaPort = freeBasePort(), boPort = freeBasePort();

    CallRunner::Program ana, bo;
    start(ana, anaPort, {{"OVELA_SCRIPT", "exit:30"}});
    start(
        bo, boPort,
        {{"OVELA_CAMERA", "pattern:320x240:yuv12"},
         {"OVELA_MIC", "wav:" + speech},
         {"OVELA_SCRIPT", QStringLiteral("send:2:3:127.0.0.1:%1:Hello Ana;exit:8").arg(anaPort)}});
    ASSERT_TRUE(bo.finished(30000)) << "the sender ends by itself";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !unopened(ana.file("ovela.msg")).isEmpty(); }, 5000));
    EXPECT_TRUE(QFile(ana.file("sounds.txt")).exists());
    ana.process.terminate();
    ASSERT_TRUE(ana.finished(10000));

    // What was kept: the text, the picture as the camera made it, about three seconds of clip.
    const QList<ReceivedMessage> kept = unopened(ana.file("ovela.msg"));
    ASSERT_EQ(kept.size(), 1);
    const ReceivedMessage &m = kept.first();
    EXPECT_EQ(m.text, "Hello Ana");
    EXPECT_EQ(m.email, "bo@example.org");
    EXPECT_GE(m.audio.size(), 12) << "0.2 s a block";
    EXPECT_LE(m.audio.size(), 59);
    std::vector<uint8_t> picture(80 * 60 * 3);
    int16_t w = 0, h = 0;
    ASSERT_GT(QVIDUnCompressStill(reinterpret_cast<const uint8_t *>(m.picture.constData()),
                                  int32_t(m.picture.size()), &w, &h, picture.data()),
              0);
    ASSERT_EQ(QSize(w, h), QSize(80, 60));
    const QImage received =
        QImage(picture.data(), 80, 60, 80 * 3, QImage::Format_BGR888).mirrored(false, true);
    // Quality 85 of a reduced test pattern: about 30 dB; a wrong colour order or a picture
    // upside down falls far below.
    EXPECT_GT(CallAnalysis::bestPsnr(received, patternThumbnail, 256), 24.0);

    // After the restart the message waits; opened, its clip plays through the speaker.
    QFile::remove(ana.file("sounds.txt"));
    start(ana, anaPort, {{"OVELA_SCRIPT", "open:2;exit:8"}});
    ASSERT_TRUE(ana.finished(30000));
    EXPECT_TRUE(unopened(ana.file("ovela.msg")).isEmpty()) << "an opened message is not kept";
    const std::vector<float> spoken = CallAnalysis::readWav(speech);
    const std::vector<float> heard = CallAnalysis::readWav(ana.file("speaker.wav"));
    // GSM keeps a speech-like signal at about 0.95; silence or noise is far below 0.5.
    EXPECT_GT(CallAnalysis::bestCorrelation(spoken, heard, 2 * 8000), 0.8);
}
