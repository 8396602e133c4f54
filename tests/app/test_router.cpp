// A program behind a home router, reached from outside: the router (miniupnpd in a network
// namespace, see tools/routerbed.h) already forwards the program's own base port to another home
// machine, so the program must ask for the next block of four. A peer outside then sends it a
// quick message and calls the router's outside address at the port the program was given;
// pictures, speech and chat cross both ways. When the program quits, the router forwards nothing.
// Needs root and miniupnpd (CI has both); skipped, saying why, without them.
#include "callrunner.h"
#include "messaging/messagestore.h"
#include "routerbed.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

namespace
{
constexpr quint16 HomeBase = 2400;

QString forwardsText(const RouterBed &bed)
{
    return bed.forwards().join(QStringLiteral(", "));
}

// The quick messages the program has not opened yet.
QList<ReceivedMessage> unopened(const CallRunner::Program &p)
{
    QFile f(p.file("ovela.msg"));
    QList<ReceivedMessage> messages;
    if (f.open(QIODevice::ReadOnly)) MessageStore::decode(f.readAll(), &messages);
    return messages;
}
} // namespace

TEST(BehindARouter, AProgramMapsItsPortsIsCalledFromOutsideAndUnmapsAtExit)
{
    RouterBed bed;
    if (!bed.skipReason().isEmpty()) GTEST_SKIP() << bed.skipReason().toStdString();
    ASSERT_TRUE(bed.error().isEmpty()) << bed.error().toStdString();
    const QString home = QLatin1String(RouterBed::HomeAddress);
    // Another home machine holds the program's own base port on the router.
    ASSERT_FALSE(
        bed.run(RouterBed::Home, {"upnpc", "-e", "other", "-a", "192.168.77.9",
                                  QString::number(HomeBase), QString::number(HomeBase), "TCP"})
            .isNull());
    ASSERT_EQ(forwardsText(bed), QStringLiteral("2400->192.168.77.9:2400"));

    CallRunner::Options o;
    o.program = QStringLiteral(OVELA_BINARY);
    o.calleeWrapper = bed.wrapper(RouterBed::Home);
    o.callerWrapper = bed.wrapper(RouterBed::Outside);
    o.calleeAddress = QLatin1String(RouterBed::RouterOutside);
    o.calleeBasePort = HomeBase;
    o.calleeEnv = {{"OVELA_MAP_PORTS", "Yes"}};
    o.calleeTalkFrom = 5;
    o.calleeTalkUntil = 8;
    o.hangUpAt = 10;
    o.timeoutMs = 90000;
    double mappedMs = 0;
    CallRunner::Program sender;
    const QString clip = sender.file("clip.wav");
    ASSERT_TRUE(CallAnalysis::writeSpeechLikeWav(clip, 3));
    o.beforeCall = [&](CallRunner::Program &callee, quint16, QString *error) -> quint16 {
        // The next block of four, forwarded to the program while it starts up.
        const QStringList wanted{"2404->" + home + ":2400", "2405->" + home + ":2401",
                                 "2406->" + home + ":2402", "2407->" + home + ":2403"};
        QElapsedTimer clock;
        clock.start();
        if (!QTest::qWaitFor([&] { return bed.forwards().mid(1) == wanted; }, 15000)) {
            *error = QStringLiteral("the router forwards ") + forwardsText(bed);
            return 0;
        }
        mappedMs = double(clock.elapsed());
        // A quick message from outside, to the router's outside address.
        sender.start(QStringLiteral(OVELA_BINARY),
                     "[Personal]\nName=Bo Smith\nEMail=bo@example.org\nLocation=Oslo\n", {},
                     {{"OVELA_CAMERA", "pattern:320x240:yuv12"},
                      {"OVELA_MIC", "wav:" + clip},
                      {"OVELA_SCRIPT", "send:2:1:198.20.77.1:2404:Through the router;exit:6"}},
                     bed.wrapper(RouterBed::Outside));
        if (!sender.finished(30000) ||
            !QTest::qWaitFor([&] { return !unopened(callee).isEmpty(); }, 5000)) {
            *error = QStringLiteral("no quick message arrived through the router");
            return 0;
        }
        return 2404;
    };
    const CallRunner::Result r = CallRunner::run(o);
    ASSERT_TRUE(r.ran) << r.error.toStdString();
    std::printf("[ metric ] ports forwarded %.0f ms after the program listened\n", mappedMs);

    // The call was accepted and everything crossed, both ways.
    for (const CallRunner::Side *side : {&r.callee, &r.caller}) {
        const char *who = side == &r.callee ? "the program behind the router" : "the peer";
        ASSERT_TRUE(side->report.valid) << who;
        EXPECT_GT(side->report.picturesReceived, 20) << who;
        EXPECT_GT(side->picturePsnr, 27.0) << who;
        EXPECT_GT(side->report.speechBlocksReceived, 10) << who;
        EXPECT_GE(side->report.chatLinesReceived, 2) << who;
        EXPECT_TRUE(side->exitedCleanly) << who;
    }
    EXPECT_GT(r.speechCorrelation, 0.8);
    // The peer sees the router's outside address, the program its own listener.
    EXPECT_TRUE(r.caller.log.contains(QStringLiteral("Placed call to 198.20.77.1")))
        << r.caller.log.toStdString();
    EXPECT_TRUE(r.callee.log.contains(
        QStringLiteral("forwards its outside address 198.20.77.1, ports 2404-2407")))
        << r.callee.log.toStdString();
    EXPECT_TRUE(r.callee.log.contains(QStringLiteral("no longer forwards ports 2404-2407")));

    // Gone from the router with the program; the other machine's forward stays.
    EXPECT_EQ(forwardsText(bed), QStringLiteral("2400->192.168.77.9:2400"));
    const QString listed = bed.run(RouterBed::Home, {"upnpc", "-l"});
    EXPECT_FALSE(listed.contains(QStringLiteral("OVELA"))) << listed.toStdString();
}
