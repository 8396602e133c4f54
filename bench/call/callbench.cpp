// The call benchmark: two ovela programs on this machine call each other for 30 seconds with the
// scripted camera at 320 x 240 and at 640 x 480, pictures only, and then at 640 x 480 with the
// caller talking throughout. Printed beside their targets and the figures of the program before
// its drawing and capture paths were reworked: pictures per second each way, kbit/s, processor
// time per program, capture-to-drawing time, PSNR. The processor-time targets were set on a
// machine where a 640 x 480 JPEG round trip took 0.69 ms; the time is also given scaled by how
// much longer that round trip takes here around each call.
//
// The scripted camera makes its frames once when it starts (":prepared"), as a real camera makes
// its pictures itself; what making them as they are taken would cost is measured apart and
// printed below the calls.
//
// Calls between two programs of this version are encrypted; last, 640 x 480 calls with
// encryption switched off on both sides and on are run in turn (four of each) and compared: the
// processor time per side, the pictures a second and the capture-to-draw time.
//
//   bench_call [seconds [WxH|encryption [plain]]]
//
// WxH runs that size only (pictures only, for a perf recording: bench/call/breakdown.py),
// "encryption" only the comparison, and "plain" has the camera make its frames as they are
// taken, as a program built before prepared frames existed needs.
#include "callrunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLibrary>

#include <cstdio>
#include <vector>

namespace
{

struct Run {
    const char *size;
    bool talking;
    double cpuTarget;   // % of a core per program
    const char *before; // the same figure before the rework (README)
};

// speed: this machine's JPEG round trip over the reference machine's (2: half as fast); the
// processor time is also given at the reference machine's speed, where the targets hold.
void report(const char *label, const CallRunner::Side &receiver, const CallRunner::Side &sender,
            const Run &run, double speed)
{
    const auto &r = receiver.report;
    const double fps = r.picturesReceived / r.seconds;
    const double cpu = 100.0 * sender.report.cpuSeconds / sender.report.seconds;
    std::printf("  %-10s %5.1f pictures/s (target 13, tick limit 13.3) %6.0f kbit/s  sender CPU "
                "%4.1f%% of a core here, %4.1f%% at the reference speed (target <= %.1f%%, "
                "before %s)  capture-to-draw median %3.0f ms, 90%% %3.0f ms  PSNR %.1f dB\n",
                label, fps, r.bytesReceived * 8 / r.seconds / 1000, cpu, cpu / speed, run.cpuTarget,
                run.before, CallRunner::percentile(receiver.latenciesMs, 0.5),
                CallRunner::percentile(receiver.latenciesMs, 0.9), receiver.picturePsnr);
}

// What the scripted camera spends making one frame of the pattern when it makes them as they are
// taken (the engine's own pattern maker, as the camera uses it).
double patternMsPerFrame(int width, int height)
{
    using Maker = int32_t (*)(const char *, int32_t, int32_t, int32_t, uint8_t *, int32_t);
    QLibrary engine(CallRunner::builtBeside("libRXVLIB11.so"));
    const auto make = reinterpret_cast<Maker>(engine.resolve("QVIDTestPattern"));
    if (!make) return -1;
    std::vector<uint8_t> frame(std::size_t(width) * height * 3 / 2);
    QElapsedTimer clock;
    clock.start();
    constexpr int frames = 60;
    for (int k = 0; k < frames; ++k)
        make("yuv12", width, height, k, frame.data(), int32_t(frame.size()));
    return clock.nsecsElapsed() / 1e6 / frames;
}

struct Figures {
    double cpu = 0, fps = 0, medianMs = 0; // per side, at the reference speed
    int calls = 0;
};

// Encrypted 640 x 480 calls against plain ones, alternating so both meet the same machine.
int compareEncryption(double seconds, const QString &camera, CallRunner::MachineSpeed &machine)
{
    Figures plain, encrypted;
    std::printf("640x480, pictures only, four %.0f s calls each way, plain and encrypted in turn "
                "(per side, processor time at the reference speed):\n",
                seconds);
    // In the order plain, encrypted, encrypted, plain (twice): a machine that slows down or
    // speeds up over the minutes weighs on both alike.
    for (int round = 0; round < 8; ++round) {
        const bool encrypt = round % 4 == 1 || round % 4 == 2;
        CallRunner::Options o;
        o.program = CallRunner::builtBeside("ovela");
        o.camera = camera;
        o.talkFrom = o.talkUntil = 0;
        o.callerChat.clear();
        o.calleeChat.clear();
        o.hangUpAt = seconds;
        o.timeoutMs = int(seconds * 1000) + 30000;
        const QByteArray privacy = encrypt ? "EncryptCalls=1\r\n" : "EncryptCalls=0\r\n";
        o.callerFiles.insert(QStringLiteral("cfg/ovela/privacy"), privacy);
        o.calleeFiles.insert(QStringLiteral("cfg/ovela/privacy"), privacy);
        const CallRunner::Result r = CallRunner::run(o);
        if (!r.ran || r.caller.log.contains("is encrypted") != encrypt) {
            std::fprintf(stderr, "bench_call: the %s call did not run as such (%s)\n",
                         encrypt ? "encrypted" : "plain", qPrintable(r.error));
            return 1;
        }
        const double speed = machine.after();
        Figures &f = encrypt ? encrypted : plain;
        std::printf("  %-9s call: CPU", encrypt ? "encrypted" : "plain");
        for (const auto *side : {&r.callee, &r.caller}) {
            const double cpu = 100.0 * side->report.cpuSeconds / side->report.seconds / speed;
            std::printf(" %4.2f%%", cpu);
            f.cpu += cpu;
            f.fps += side->report.picturesReceived / side->report.seconds;
            f.medianMs += CallRunner::percentile(side->latenciesMs, 0.5);
            ++f.calls;
        }
        std::printf(" of a core (callee, caller)\n");
    }
    for (Figures *f : {&plain, &encrypted}) {
        f->cpu /= f->calls;
        f->fps /= f->calls;
        f->medianMs /= f->calls;
    }
    std::printf("  plain      CPU %4.2f%% of a core  %5.1f pictures/s  capture-to-draw median "
                "%5.1f ms\n",
                plain.cpu, plain.fps, plain.medianMs);
    std::printf("  encrypted  CPU %4.2f%% of a core  %5.1f pictures/s  capture-to-draw median "
                "%5.1f ms\n",
                encrypted.cpu, encrypted.fps, encrypted.medianMs);
    std::printf("  encrypted against plain: CPU %+.1f%% (target within 10%%), pictures/s %+.2f "
                "(target the same), capture-to-draw %+.1f ms (target within 5 ms)\n",
                100.0 * (encrypted.cpu - plain.cpu) / plain.cpu, encrypted.fps - plain.fps,
                encrypted.medianMs - plain.medianMs);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? QString::fromLatin1(argv[1]).toDouble() : 30.0;
    const QString only = argc > 2 ? QString::fromLatin1(argv[2]) : QString();
    const bool plain = argc > 3 && QLatin1String(argv[3]) == QLatin1String("plain");
    const Run runs[] = {{"320x240", false, 1.5, "2.2-2.4%"},
                        {"640x480", false, 4.0, "5.3-6.4%"},
                        {"640x480", true, 4.0, "5.3-6.4% silent"}};
    int failures = 0;
    // The machine's speed is taken before and after each call (it varies with what else runs
    // on it); a call is judged by the mean of the two.
    CallRunner::MachineSpeed machine;
    const QString camera640 = QStringLiteral("pattern:640x480:yuv12") + (plain ? "" : ":prepared");
    if (only == QLatin1String("encryption")) return compareEncryption(seconds, camera640, machine);
    for (const Run &run : runs) {
        if (!only.isEmpty() && (only != QLatin1String(run.size) || run.talking)) continue;
        CallRunner::Options o;
        o.program = CallRunner::builtBeside("ovela");
        o.camera = QStringLiteral("pattern:%1:yuv12%2")
                       .arg(QLatin1String(run.size), plain ? "" : ":prepared");
        o.talkFrom = run.talking ? 1.0 : 0.0;
        o.talkUntil = run.talking ? seconds - 1.0 : 0.0;
        o.callerChat.clear();
        o.calleeChat.clear();
        o.hangUpAt = seconds;
        o.timeoutMs = int(seconds * 1000) + 30000;
        const CallRunner::Result r = CallRunner::run(o);
        if (!r.ran) {
            std::fprintf(stderr, "bench_call: %s\n", qPrintable(r.error));
            return 1;
        }
        std::printf("%s, %.0f s call, %s:\n", run.size, r.callee.report.seconds,
                    run.talking ? "Bo talks throughout (his pictures wait for his speech)"
                                : "pictures only");
        const double speed = machine.after();
        report("Bo -> Ana", r.callee, r.caller, run, speed);
        report("Ana -> Bo", r.caller, r.callee, run, speed);
        std::printf("  this machine: a 640x480 JPEG round trip took %.2f ms (the reference machine "
                    "%.2f ms): %.2f times as long\n",
                    speed * CallRunner::ReferenceJpegMs, CallRunner::ReferenceJpegMs, speed);
        failures += r.callee.report.picturesReceived == 0 || r.caller.report.picturesReceived == 0;
    }
    std::printf("The scripted camera's own cost, not counted above (its frames are made when it "
                "starts):\n");
    for (const auto &[w, h] : {std::pair{320, 240}, std::pair{640, 480}}) {
        const double ms = patternMsPerFrame(w, h);
        std::printf("  %dx%d yuv12: %.2f ms a frame, %.1f%% of a core at 15 frames/s when made "
                    "as they are taken\n",
                    w, h, ms, ms * 15 / 10);
    }
    if (only.isEmpty()) failures += compareEncryption(seconds, camera640, machine);
    return failures ? 1 : 0;
}
