// ovela-demo: a whole call between two ovela programs on this machine, without a display or any
// hardware: scripted cameras, microphones, speakers and users. Prints what crossed.
#include "callrunner.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

namespace
{

void printSide(const char *who, const char *from, const CallRunner::Side &s)
{
    const auto &r = s.report;
    const double seconds = r.seconds > 0 ? r.seconds : 1;
    std::printf("  %s received from %s: %lld pictures (%.1f per second), %.1f kbit/s in, "
                "%lld speech blocks, %lld chat lines\n",
                who, from, r.picturesReceived, r.picturesReceived / seconds,
                r.bytesReceived * 8 / seconds / 1000, r.speechBlocksReceived, r.chatLinesReceived);
    if (s.patternFrame >= 0)
        std::printf("    last picture: test-pattern frame %d, PSNR %.1f dB against what was sent\n",
                    s.patternFrame, s.picturePsnr);
    else
        std::printf("    last picture: none recognised\n");
    if (!s.latenciesMs.empty())
        std::printf("    capture to drawing: median %.0f ms, 90%% within %.0f ms\n",
                    CallRunner::percentile(s.latenciesMs, 0.5),
                    CallRunner::percentile(s.latenciesMs, 0.9));
    std::printf("    processor time: %.2f s in %.1f s of call\n", r.cpuSeconds, r.seconds);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    CallRunner::Options options;
    options.program = CallRunner::builtBeside("ovela");
    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1) options.camera = QStringLiteral("pattern:%1:yuv12").arg(args.at(1));
    if (!QFileInfo::exists(options.program)) {
        std::fprintf(stderr, "ovela-demo: %s not found\n", qPrintable(options.program));
        return 2;
    }
    std::printf("Calling from Bo (listening on 2004) to Ana (2000) over loopback, camera %s;\n"
                "Bo talks from %.1f s to %.1f s, both type a chat line, Bo hangs up at %.0f s.\n",
                qPrintable(options.camera), options.talkFrom, options.talkUntil, options.hangUpAt);
    const CallRunner::Result r = CallRunner::run(options);
    if (!r.ran) {
        std::fprintf(stderr, "ovela-demo: %s\n", qPrintable(r.error));
        return 1;
    }
    printSide("Ana", "Bo", r.callee);
    printSide("Bo", "Ana", r.caller);
    std::printf("  speech: Bo's voice as Ana's speaker played it, correlation %.2f over %.1f s\n",
                r.speechCorrelation, r.speechSeconds);
    const bool ok = r.callee.exitedCleanly && r.caller.exitedCleanly &&
                    r.callee.report.picturesReceived > 0 && r.caller.report.picturesReceived > 0;
    std::printf("%s\n", ok ? "The call worked both ways." : "Something did not cross; see above.");
    return ok ? 0 : 1;
}
