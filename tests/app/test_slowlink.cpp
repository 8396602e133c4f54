// A call through a slow link: two real programs in network namespaces joined by a veth pair that
// the kernel's token bucket shapes to 256 kbit/s each way, two 640 x 480 cameras, the caller
// talking for six seconds halfway through a 40-second call. The pictures keep coming with a
// bounded delay instead of queueing for as long as the call lasts, and every speech block
// arrives. Needs root (as CI runs); without it the test fails and says so.
#include "callrunner.h"
#include "shapedlink.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

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

// The link goes dead in the middle of a call, as when a machine or its network vanishes: every
// packet into the callee's namespace is dropped, with no FIN and no reset. Both programs end the
// call within half a minute and say it dropped.
TEST(SlowLink, ACallWhoseLinkGoesDeadEndsAsDroppedOnBothSides)
{
    ShapedLink link(2000);
    ASSERT_TRUE(link.error().isEmpty()) << link.error().toStdString();
    CallRunner::Options o;
    o.program = QStringLiteral(OVELA_BINARY);
    o.hangUpAt = 80; // never reached: the call drops first
    o.timeoutMs = 90000;
    o.calleeWrapper = link.wrapper(ShapedLink::Callee);
    o.callerWrapper = link.wrapper(ShapedLink::Caller);
    o.calleeAddress = link.calleeAddress();
    std::thread cut;
    QElapsedTimer sinceCut;
    o.beforeCall = [&](CallRunner::Program &, quint16 port, QString *) -> quint16 {
        cut = std::thread([&sinceCut, in = link.wrapper(ShapedLink::Callee).join(' ')] {
            std::this_thread::sleep_for(std::chrono::seconds(8));
            sinceCut.start();
            const QString table = in + QStringLiteral(" nft add table inet cut && ") + in +
                                  QStringLiteral(" nft 'add chain inet cut in { type filter hook "
                                                 "input priority 0; policy drop; }'");
            if (std::system(qPrintable(table)) != 0) std::fprintf(stderr, "nft failed\n");
        });
        return port;
    };
    const CallRunner::Result r = CallRunner::run(o);
    const qint64 endedAfterMs = sinceCut.elapsed();
    cut.join();
    ASSERT_TRUE(r.ran) << r.error.toStdString();
    EXPECT_GT(r.callee.report.picturesReceived, 20) << "the call was under way";
    for (const CallRunner::Side *side : {&r.caller, &r.callee})
        EXPECT_TRUE(side->log.contains(QStringLiteral("Call dropped"))) << side->log.toStdString();
    EXPECT_LT(endedAfterMs, 35000);
    std::printf("[ metric ] both programs ended %lld ms after the link went dead\n",
                static_cast<long long>(endedAfterMs));
}
