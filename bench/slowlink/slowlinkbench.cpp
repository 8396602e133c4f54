// Calls through a slow link: two programs in network namespaces joined by a veth pair that the
// kernel's token bucket shapes to 128, 256, 512 and 1000 kbit/s each way, two 640 x 480 cameras,
// Bo talking for six seconds halfway through a 40-second call. For each link and direction:
// pictures drawn a second, the capture-to-draw delay over the second half of the call (median and
// 90%), the speech blocks delivered and their 90% delay; printed beside the targets and beside
// what the program did before it paced its pictures to the link. Then the same with 100 ms more
// round trip: a relay in a third namespace holds what crosses it for 50 ms each way (the kernel
// here has no netem to delay packets; the programs' own TCP round trip stays short, to the relay).
// Needs root (ip netns, tc).
//
//   bench_slowlink [seconds [kbit ...]]
//   bench_slowlink message   (the quick message alone)
//   bench_slowlink --relay BASE TARGET ONE_WAY_MS   (the relay, run inside its namespace)
#include "callanalysis.h"
#include "callrunner.h"
#include "delayproxy.h"
#include "messaging/messagestore.h"
#include "shapedlink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace
{

// A quick message with a picture and the longest voice clip (14 s recorded: the program keeps
// its first 59 chunks) from Bo to Ana over 128 kbit/s: whether it arrives whole, and how long
// after its recording ended.
bool quickMessage()
{
    ShapedLink link(128);
    if (!link.error().isEmpty()) return false;
    QTemporaryDir shared;
    const QString speech = shared.filePath(QStringLiteral("speech.wav"));
    CallAnalysis::writeSpeechLikeWav(speech, 20);
    const QByteArray ini = "[Personal]\nName=Bo Smith\nEMail=bo@example.org\nLocation=Oslo\n";
    CallRunner::Program ana, bo;
    ana.start(CallRunner::builtBeside("ovela"), ini, {"--base-port", "31000"},
              {{"OVELA_SCRIPT", "exit:90"}}, link.wrapper(ShapedLink::Callee));
    if (!CallRunner::listening(31003, 10000, ana.process.processId())) return false;
    QElapsedTimer clock;
    clock.start();
    bo.start(
        CallRunner::builtBeside("ovela"), ini, {"--base-port", "31000"},
        {{"OVELA_CAMERA", "pattern:320x240:yuv12"},
         {"OVELA_MIC", "wav:" + speech},
         {"OVELA_SCRIPT", "send:1:14:" + link.calleeAddress() + ":31000:Over a slow link;exit:80"}},
        link.wrapper(ShapedLink::Caller));
    QList<ReceivedMessage> kept;
    while (clock.elapsed() < 80000 && kept.isEmpty()) {
        QThread::msleep(100);
        QFile f(ana.file("ovela.msg"));
        if (f.open(QIODevice::ReadOnly)) MessageStore::decode(f.readAll(), &kept);
    }
    if (kept.isEmpty()) {
        std::printf("Quick message over 128 kbit/s: did not arrive within 80 s\n");
        return false;
    }
    const ReceivedMessage &m = kept.first();
    qint64 clip = 0;
    for (const QByteArray &chunk : m.audio)
        clip += chunk.size();
    std::printf("Quick message over 128 kbit/s: arrived whole (\"%s\", picture %lld bytes, clip of "
                "%lld chunks, %lld bytes) %.1f s after its recording ended (target: whole)\n",
                qPrintable(m.text), qint64(m.picture.size()), qint64(m.audio.size()), clip,
                (clock.elapsed() - 15000) / 1000.0);
    return m.audio.size() == 59 && !m.picture.isEmpty();
}

void print(const char *label, const CallRunner::Flow &f)
{
    std::printf("  %-10s %5.1f pictures/s  capture-to-draw median %5.0f ms, 90%% %5.0f ms  speech "
                "%lld of %lld blocks, 90%% %4.0f ms\n",
                label, f.picturesPerSecond, f.medianMs, f.p90Ms, f.blocksReceived, f.blocksSent,
                f.speechP90Ms);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && QLatin1String(argv[1]) == QLatin1String("--relay")) {
        DelayProxy relay(QHostAddress(QString::fromLatin1(argv[3])), atoi(argv[4]));
        if (!relay.listen(quint16(atoi(argv[2])), 4)) return 1;
        return app.exec();
    }
    const double seconds = argc > 1 ? QString::fromLatin1(argv[1]).toDouble() : 40.0;
    if (argc == 2 && QLatin1String(argv[1]) == QLatin1String("message")) return !quickMessage();
    QList<int> rates;
    for (int i = 2; i < argc; ++i)
        rates << QString::fromLatin1(argv[i]).toInt();
    if (rates.isEmpty()) rates = {128, 256, 512, 1000};

    std::printf("Targets at 256 kbit/s: capture-to-draw 90%% <= 400 ms both ways, every speech "
                "block, >= 2 pictures/s each way; at 128 kbit/s every speech block with 90%% <= "
                "400 ms.\n"
                "Before pacing (every picture sent): at 1.2 Mbit/s 12.3 / 13.3 pictures/s, median "
                "101 ms, 90%% 178 / 102 ms; at 200 kbit/s 3.1 / 3.2 pictures/s, median 11.8 s / "
                "7.9 s, 90%% 13.3 s / 8.8 s, speech all delivered but seconds late.\n\n");
    int failures = 0;
    for (const int rtt : {0, 100}) {
        for (int kbit : rates) {
            ShapedLink link(kbit, rtt > 0);
            if (!link.error().isEmpty()) {
                std::fprintf(stderr, "bench_slowlink: %s\n", qPrintable(link.error()));
                return 1;
            }
            CallRunner::Options o;
            o.program = CallRunner::builtBeside("ovela");
            o.camera = QStringLiteral("pattern:640x480:yuv12:prepared");
            o.talkFrom = seconds / 2 - 3;
            o.talkUntil = seconds / 2 + 3;
            o.hangUpAt = seconds;
            o.timeoutMs = int(seconds * 1000) + 60000;
            o.calleeWrapper = link.wrapper(ShapedLink::Callee);
            o.callerWrapper = link.wrapper(ShapedLink::Caller);
            o.calleeAddress = link.calleeAddress();
            QProcess relay;
            if (rtt > 0) {
                // The callee takes the first free base port; the relay listens on the same ones.
                o.calleeBasePort = 31000;
                relay.setProcessChannelMode(QProcess::ForwardedChannels);
                const QStringList w = link.wrapper(ShapedLink::Relay);
                relay.start(w.first(),
                            w.mid(1) + QStringList{QCoreApplication::applicationFilePath(),
                                                   "--relay", "31000",
                                                   ShapedLink::calleeBehindRelay(),
                                                   QString::number(rtt / 2)});
                relay.waitForStarted();
            }
            const CallRunner::Result r = CallRunner::run(o);
            relay.kill();
            relay.waitForFinished();
            if (!r.ran) {
                std::fprintf(stderr, "bench_slowlink: %s\n", qPrintable(r.error));
                return 1;
            }
            std::printf("%d kbit/s each way%s, %.0f s call, Bo talks %.0f-%.0f s:\n", kbit,
                        rtt > 0 ? ", 100 ms more round trip" : "", r.callee.report.seconds,
                        o.talkFrom, o.talkUntil);
            const CallRunner::Flow boToAna = CallRunner::flow(r.caller, r.callee);
            print("Bo -> Ana", boToAna);
            print("Ana -> Bo", CallRunner::flow(r.callee, r.caller));
            std::printf("  pictures held back for the link: Bo %lld ticks, Ana %lld ticks\n",
                        r.caller.report.picturesHeldBack, r.callee.report.picturesHeldBack);
            failures += boToAna.blocksReceived != boToAna.blocksSent;
        }
    }
    failures += !quickMessage();
    return failures == 0 ? 0 : 1;
}
