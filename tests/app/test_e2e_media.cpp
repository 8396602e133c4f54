// A whole call between two real ovela programs with scripted cameras, microphones, speakers and
// users: pictures, speech and chat lines must cross both ways, and the hang-up must end the call
// on both sides.
#include "callrunner.h"

#include <gtest/gtest.h>

namespace
{

CallRunner::Result callOnce(const QString &camera)
{
    CallRunner::Options options;
    options.program = QStringLiteral(OVELA_BINARY);
    options.camera = camera;
    return CallRunner::run(options);
}

void expectPicturesArrived(const CallRunner::Side &side, const char *who)
{
    const auto &r = side.report;
    ASSERT_TRUE(r.valid) << who << " wrote no report";
    // Pictures leave on at most every 75 ms tick; speech goes first while talking.
    EXPECT_GT(r.picturesReceived / r.seconds, 7.0) << who;
    EXPECT_GE(side.patternFrame, 0) << who << ": the last picture is not the test pattern";
    // Quality 15 JPEG of the test pattern measures about 30 dB; a wrong colour order, a picture
    // upside down or a shifted row falls far below this.
    EXPECT_GT(side.picturePsnr, 27.0) << who;
    EXPECT_GE(r.chatLinesReceived, 2) << who << ": the welcome line and a typed one";
    EXPECT_TRUE(side.log.contains(QStringLiteral(": Disconnected from 127.0.0.1"))) << who;
    EXPECT_TRUE(side.exitedCleanly) << who;
}

} // namespace

TEST(TwoProgramsInACall, PicturesSpeechAndChatCrossBothWaysUntilTheHangUp)
{
    const CallRunner::Result r = callOnce(QStringLiteral("pattern:320x240:yuv12"));
    ASSERT_TRUE(r.ran) << r.error.toStdString();
    expectPicturesArrived(r.callee, "callee");
    expectPicturesArrived(r.caller, "caller");
    // GSM keeps a speech-like signal at about 0.95; silence or noise gives well under 0.5.
    EXPECT_GT(r.speechCorrelation, 0.8);
    EXPECT_GT(r.callee.report.speechBlocksReceived, 10);
    EXPECT_TRUE(r.caller.log.contains(QStringLiteral(": Placed call to 127.0.0.1")));
}

TEST(TwoProgramsInACall, A640CameraReachesThePeerAtFullSize)
{
    const CallRunner::Result r = callOnce(QStringLiteral("pattern:640x480:rgb24"));
    ASSERT_TRUE(r.ran) << r.error.toStdString();
    EXPECT_EQ(r.callee.lastPicture.size(), QSize(640, 480));
    EXPECT_GT(r.callee.picturePsnr, 27.0);
    EXPECT_GT(r.callee.report.picturesReceived, 20);
}
