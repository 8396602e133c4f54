// A call through a slow link: two real programs in network namespaces joined by a veth pair that
// the kernel's token bucket shapes to 256 kbit/s each way, two 640 x 480 cameras, the caller
// talking for six seconds halfway through a 40-second call. The pictures keep coming with a
// bounded delay instead of queueing for as long as the call lasts, and every speech block
// arrives. Needs root (as CI runs); without it the test fails and says so.
#include "callrunner.h"
#include "shapedlink.h"

#include <gtest/gtest.h>

TEST(SlowLink, At256KbitPicturesKeepUpWithBoundedDelayAndAllSpeechArrives)
{
    ShapedLink link(256);
    ASSERT_TRUE(link.error().isEmpty()) << link.error().toStdString();
    CallRunner::Options o;
    o.program = QStringLiteral(OVELA_BINARY);
    o.camera = QStringLiteral("pattern:640x480:yuv12:prepared");
    o.talkFrom = 17;
    o.talkUntil = 23;
    o.hangUpAt = 40;
    o.timeoutMs = 90000;
    o.calleeWrapper = link.wrapper(ShapedLink::Callee);
    o.callerWrapper = link.wrapper(ShapedLink::Caller);
    o.calleeAddress = link.calleeAddress();
    const CallRunner::Result r = CallRunner::run(o);
    ASSERT_TRUE(r.ran) << r.error.toStdString();

    const CallRunner::Flow flows[] = {CallRunner::flow(r.caller, r.callee),
                                      CallRunner::flow(r.callee, r.caller)};
    for (const CallRunner::Flow &f : flows) {
        SCOPED_TRACE(&f == &flows[0] ? "Bo to Ana" : "Ana to Bo");
        EXPECT_GE(f.picturesPerSecond, 2.0);
        EXPECT_LE(f.p90Ms, 400.0) << "median " << f.medianMs;
        EXPECT_EQ(f.blocksReceived, f.blocksSent) << "every speech block";
    }
    EXPECT_GE(flows[0].blocksSent, 28) << "six seconds of speech";
}
