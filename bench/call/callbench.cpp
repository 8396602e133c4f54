// The call benchmark: two ovela programs on this machine call each other for 30 seconds with the
// scripted camera at 320 x 240 and at 640 x 480, and the figures are printed beside their targets:
// pictures per second each way, kbit/s, processor time per program, capture-to-drawing time.
#include "callrunner.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

namespace {

struct Target {
    const char *size;
    double cpuPercent;
};

void report(const char *label, const CallRunner::Side &receiver, const CallRunner::Side &sender,
            double cpuTarget)
{
    const auto &r = receiver.report;
    const double fps = r.picturesReceived / r.seconds;
    const double cpu = 100.0 * sender.report.cpuSeconds / sender.report.seconds;
    std::printf("  %-10s %6.1f pictures/s (target 13, tick limit 13.3)  %7.1f kbit/s  "
                "program CPU %5.1f%% of a core (target < %.0f%%)  capture-to-draw median %5.0f ms, "
                "90%% %5.0f ms (target < 100)  PSNR %.1f dB\n",
                label, fps, r.bytesReceived * 8 / r.seconds / 1000, cpu, cpuTarget,
                CallRunner::percentile(receiver.latenciesMs, 0.5),
                CallRunner::percentile(receiver.latenciesMs, 0.9), receiver.picturePsnr);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? QString::fromLatin1(argv[1]).toDouble() : 30.0;
    const Target targets[] = {{"320x240", 10}, {"640x480", 25}};
    int failures = 0;
    for (const Target &t : targets) {
        CallRunner::Options o;
        o.program = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("ovela"));
        o.camera = QStringLiteral("pattern:%1:yuv12").arg(QLatin1String(t.size));
        o.talkFrom = o.talkUntil = 0; // pictures only
        o.callerChat.clear();
        o.calleeChat.clear();
        o.hangUpAt = seconds;
        o.timeoutMs = int(seconds * 1000) + 30000;
        const CallRunner::Result r = CallRunner::run(o);
        if (!r.ran) {
            std::fprintf(stderr, "bench_call: %s\n", qPrintable(r.error));
            return 1;
        }
        std::printf("%s, %.0f s call:\n", t.size, r.callee.report.seconds);
        report("Bo -> Ana", r.callee, r.caller, t.cpuPercent);
        report("Ana -> Bo", r.caller, r.callee, t.cpuPercent);
        failures += r.callee.report.picturesReceived == 0 || r.caller.report.picturesReceived == 0;
    }
    return failures ? 1 : 0;
}
