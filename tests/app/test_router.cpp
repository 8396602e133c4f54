// A program behind a home router, reached from outside: the router (miniupnpd in a network
// namespace, see tools/routerbed.h) already forwards the program's own base port to another home
// machine, so the program must ask for the next block of four. A peer outside then sends it a
// quick message and calls the router's outside address at the port the program was given;
// pictures, speech and chat cross both ways. When the program quits, the router forwards nothing.
// The connection doctor, run behind the same router against a directory server outside, sees
// the router forward the call ports and the directory server reach them through it, and not
// when the program may not ask the router.
// Needs root and miniupnpd (CI has both); skipped, saying why, without them.
#include "callrunner.h"
#include "messaging/messagestore.h"
#include "routerbed.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

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

TEST(BehindARouter, TheDoctorSeesTheRouterForwardAndTheDirectoryReachThrough)
{
    // A router that speaks UPnP IGD and NAT-PMP, and the program may ask it or not; then one that
    // speaks NAT-PMP only.
    struct Case {
        bool upnp;
        const char *mapPorts, *router, *reach;
        int status;
    };
    const Case cases[] = {
        {true, "Yes",
         "[fine] Router: The router (UPnP IGD) forwards ports 2400 to 2403 here; its outside "
         "address is 198.20.77.1.",
         "[fine] Reachable from outside: The directory server 198.20.77.2 reached ports 2400 to "
         "2403",
         0},
        {true, "No",
         "[not checked] Router: Asking the router to open the call ports is turned off.",
         "[problem] Reachable from outside: The directory server 198.20.77.2 could not reach "
         "ports 2400 to 2403",
         1},
        {false, "Yes",
         "[fine] Router: The router (NAT-PMP) forwards ports 2400 to 2403 here; its outside "
         "address is 198.20.77.1.",
         "[fine] Reachable from outside: The directory server 198.20.77.2 reached ports 2400 to "
         "2403",
         0},
    };
    std::unique_ptr<RouterBed> bed;
    bool bedSpeaksUpnp = false;
    for (const Case &c : cases) {
        if (!bed || bedSpeaksUpnp != c.upnp) {
            bed.reset(); // one bed at a time: they share the namespaces' names
            bed = std::make_unique<RouterBed>(c.upnp);
            bedSpeaksUpnp = c.upnp;
        }
        if (!bed->skipReason().isEmpty()) GTEST_SKIP() << bed->skipReason().toStdString();
        ASSERT_TRUE(bed->error().isEmpty()) << bed->error().toStdString();
        QTemporaryDir home;
        QProcess directory;
        const QStringList outside = bed->wrapper(RouterBed::Outside);
        directory.start(outside.first(),
                        outside.mid(1) + QStringList{OVELA_DIRECTORY_BINARY, "--directory-port",
                                                     "2010", "--pal-port", "2015", "--database",
                                                     home.filePath("ids.db")});
        ASSERT_TRUE(directory.waitForReadyRead(10000)); // its "listening" line
        QDir().mkpath(home.filePath("config/ovela"));
        QFile ini(home.filePath("config/ovela/ovela.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Personal]\nDirAddress=198.20.77.2\nDirPort=2010\n");
        ini.close();
        const QString clip = home.filePath("mic.wav");
        ASSERT_TRUE(CallAnalysis::writeSpeechLikeWav(clip, 1));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
        environment.insert("XDG_DATA_HOME", home.filePath("data"));
        environment.insert("OVELA_PAL_HOST", "198.20.77.2:2015");
        environment.insert("OVELA_MAP_PORTS", c.mapPorts);
        environment.insert("OVELA_MIC", "wav:" + clip);
        environment.insert("OVELA_SPEAKER", "wav:" + home.filePath("speaker.wav"));
        environment.insert("OVELA_CAMERA", "pattern:320x240:yuv12");
        QProcess doctor;
        doctor.setProcessEnvironment(environment);
        const QStringList inHome = bed->wrapper(RouterBed::Home);
        doctor.start(inHome.first(),
                     inHome.mid(1) + QStringList{OVELA_BINARY, "--doctor", "--base-port", "2400"});
        ASSERT_TRUE(doctor.waitForFinished(60000));
        const QString out = QString::fromUtf8(doctor.readAllStandardOutput());
        EXPECT_TRUE(out.contains(QLatin1String(c.router))) << out.toStdString();
        EXPECT_TRUE(out.contains(QLatin1String(c.reach))) << out.toStdString();
        EXPECT_EQ(doctor.exitCode(), c.status)
            << out.toStdString() << doctor.readAllStandardError().toStdString();
        // What the doctor asked the router for went with it.
        EXPECT_TRUE(bed->forwards().isEmpty()) << forwardsText(*bed).toStdString();
        directory.terminate();
        directory.waitForFinished(5000);
    }
}
