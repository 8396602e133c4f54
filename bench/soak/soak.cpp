// The soak: two real programs in one long call, each with a scripted user, beside this project's
// directory server. The camera sends 640 x 480; the caller talks for eight seconds of every
// minute, the two type a chat line every five seconds in turns, the caller sends a quick message
// with a voice clip every minute and the callee opens and closes it, both refresh the directory
// list every minute. Every ten seconds each program's largest resident memory of those ten
// seconds (read every second) and the pictures it received in them are read.
//
//   bench_soak [minutes]      60 by default; CI runs 3
//
// Targets: no growth of resident memory after the first minute beyond 2 MiB on either side,
// pictures at 13 per second each way in every ten seconds without speech (the talking side's
// drop while it talks: speech goes first, and is shown apart), no error in either program's log
// or output. The exit status is 1 when a target is missed.
#include "callanalysis.h"
#include "callrunner.h"
#include "freeports.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

constexpr double GrowthTargetMiB = 2.0;
constexpr double PictureTarget = 13.0;
// A ten-second figure is pictures counted over ten seconds: 13 a second shows as 12.5 or more
// once a tick falls on either side of the window's edge.
constexpr double PictureFloor = 12.5;
// The caller talks in this part of every minute of the call (seconds from the call's start), and
// records its quick message's voice clip from RecordAt seconds after start-up for two seconds;
// the call starts three to six seconds after start-up. Meanwhile its pictures wait for the speech.
constexpr int TalkFrom = 41, TalkUntil = 49, RecordAt = 23;

// Whether the ten seconds of the call that end at `end` (a multiple of ten) hold speech or
// recording of the caller.
bool callerSpeaks(int end)
{
    const int from = (end - 10) % 60, to = from + 10;
    const auto overlaps = [&](int a, int b) { return from < b && a < to; };
    return overlaps(TalkFrom - 1, TalkUntil + 1) || overlaps(RecordAt - 6, RecordAt + 2);
}

// One side of the call; its output is kept, as an error there misses a target.
struct Program : CallRunner::Program {
    explicit Program(const QString &n) : name(n) { keepOutput(); }
    QString name;
    std::vector<double> memory; // the largest of every ten seconds

    void start(const QByteArray &ini, const QStringList &args, const QString &script,
               const QString &speech, quint16 palPort)
    {
        CallRunner::Program::start(CallRunner::builtBeside("ovela"), ini, args,
                                   {{"OVELA_PAL_HOST", QStringLiteral("127.0.0.1:%1").arg(palPort)},
                                    {"OVELA_CAMERA", "pattern:640x480:yuv12"},
                                    {"OVELA_MIC", "wav:" + speech},
                                    {"OVELA_SCRIPT", script}});
    }
    // The pictures received in each ten seconds of the call so far, as the program reported
    // them, with the end of those ten seconds in seconds from the call's start.
    struct Window {
        double perSecond;
        int end;
    };
    std::vector<Window> picturesIn() const
    {
        std::vector<Window> rates;
        for (const QString &line : read("report.txt").split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("rates=")))
                rates.push_back({line.mid(6).section(QLatin1Char(','), 0, 0).toDouble(),
                                 line.mid(6).section(QLatin1Char(','), 2, 2).toInt()});
        return rates;
    }
};

// The scripts: times of call steps from the call's start, of the others from start-up.
QString callerScript(int seconds, quint16 calleeBase)
{
    QString s = QStringLiteral("menu:3:Menu_FileCall;");
    for (int minute = 0; minute * 60 < seconds; ++minute) {
        const int t = minute * 60;
        s += QStringLiteral("talk:%1-%2;").arg(t + TalkFrom).arg(t + TalkUntil);
        s += QStringLiteral("send:%1:2:127.0.0.1:%2:Quick message %3;")
                 .arg(t + RecordAt)
                 .arg(calleeBase)
                 .arg(minute);
        s += QStringLiteral("click:%1:frmDirectory:cmdRefresh;").arg(t + 50);
    }
    for (int t = 4; t < seconds; t += 10)
        s += QStringLiteral("chat:%1:Bo at %1 seconds;").arg(t);
    return s + QStringLiteral("hangup:%1;quit:2").arg(seconds);
}

QString calleeScript(int seconds)
{
    QString s = QStringLiteral("menu:3:Menu_FileCall;");
    for (int minute = 0; minute * 60 < seconds; ++minute) {
        const int t = minute * 60;
        s += QStringLiteral("open:%1;click:%2:frmMsgIn:cmdClose;").arg(t + 40).arg(t + 45);
        s += QStringLiteral("click:%1:frmDirectory:cmdRefresh;").arg(t + 55);
    }
    for (int t = 9; t < seconds; t += 10)
        s += QStringLiteral("chat:%1:Ana at %1 seconds;").arg(t);
    return s + QStringLiteral("quit:2");
}

// Log lines a soak may hold; anything else is an error.
bool expectedLogLine(const QString &line)
{
    static const QRegularExpression ok(QStringLiteral(
        ": (OVELA Power Up|OVELA Power Down|Placed call to 127\\.0\\.0\\.1|"
        "Call Accepted from .*|Received Call from .*|Disconnected from 127\\.0\\.0\\.1|"
        "Made this program's call key \\(.*\\)\\.|"
        "The call with .* is encrypted; its code is [0-9]{3} [0-9]{3}\\.)$"));
    return line.isEmpty() || ok.match(line).hasMatch();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int minutes = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 60;
    const int seconds = minutes * 60;
    const quint16 calleeBase = FreePorts::basePort(28000, 32000);
    const quint16 callerBase = FreePorts::basePort(28000, 32000);
    const quint16 directoryPort = FreePorts::basePort(28000, 32000);
    if (minutes < 2 || !calleeBase || !callerBase || !directoryPort) {
        std::fprintf(stderr, "usage: bench_soak [minutes, at least 2]\n");
        return 2;
    }
    QTemporaryDir shared;
    const QString speech = shared.filePath(QStringLiteral("speech.wav"));
    CallAnalysis::writeSpeechLikeWav(speech, 20);

    QProcess directory;
    CallRunner::startDirectory(directory, directoryPort, shared.path());
    const QByteArray dir = "DirAddress=127.0.0.1\nDirPort=" + QByteArray::number(directoryPort);
    Program callee(QStringLiteral("Ana")), caller(QStringLiteral("Bo"));
    callee.start("[Personal]\nName=Ana Lee\nEMail=ana@example.org\nLocation=Porto\n" + dir +
                     "\n[Calling]\nAutoAccept=True\nEnableRTC=False\n",
                 {"--base-port", QString::number(calleeBase)}, calleeScript(seconds), speech,
                 directoryPort + 1);
    CallRunner::listening(calleeBase + 3, 10000);
    caller.start("[Personal]\nName=Bo Smith\nEMail=bo@example.org\nLocation=Oslo\n" + dir +
                     "\n[Calling]\nEnableRTC=False\n",
                 {"--base-port", QString::number(callerBase),
                  QStringLiteral("127.0.0.1:%1").arg(calleeBase)},
                 callerScript(seconds, calleeBase), speech, directoryPort + 1);

    std::printf("Soak: a %d-minute call, 640 x 480; memory in MiB and pictures per second "
                "received in each ten seconds\n%8s %10s %10s %14s %14s\n",
                minutes, "time", "Ana MiB", "Bo MiB", "Bo -> Ana /s", "Ana -> Bo /s");
    QElapsedTimer clock;
    clock.start();
    for (qint64 next = 10000; caller.process.state() != QProcess::NotRunning; next += 10000) {
        // Memory is read every second and each ten seconds give their largest reading: a voice
        // clip opened and closed between two readings ten seconds apart would otherwise be
        // missed in one minute and seen in the next.
        double peak[2] = {0, 0};
        while (clock.elapsed() < next && caller.process.state() != QProcess::NotRunning) {
            const qint64 step = std::min<qint64>(1000, next - clock.elapsed());
            caller.process.waitForFinished(int(std::max<qint64>(1, step)));
            peak[0] = std::max(peak[0], CallRunner::residentMiB(callee.process.processId()));
            peak[1] = std::max(peak[1], CallRunner::residentMiB(caller.process.processId()));
        }
        if (caller.process.state() == QProcess::NotRunning) break;
        callee.memory.push_back(peak[0]);
        caller.memory.push_back(peak[1]);
        const auto in = callee.picturesIn(), out = caller.picturesIn();
        std::printf("%7llds %10.1f %10.1f %14.1f %14.1f\n", (long long)(next / 1000),
                    callee.memory.back(), caller.memory.back(),
                    in.empty() ? 0.0 : in.back().perSecond,
                    out.empty() ? 0.0 : out.back().perSecond);
        std::fflush(stdout);
    }
    callee.process.waitForFinished(15000);
    directory.terminate();
    directory.waitForFinished(5000);

    int missed = 0;
    std::printf("\n");
    for (Program *p : {&callee, &caller}) {
        // Growth after the first minute: the largest sample since, less the largest of the first
        // minute. Every activity of the call happens once in that minute, and what it needs is
        // then known; a single sample would depend on whether the allocator had just handed the
        // room of an opened voice clip back to the system (it does so only when that room lies at
        // the top of the heap) or kept it for the next one.
        double growth = 0, firstMinute = 0;
        for (size_t i = 0; i < std::min<size_t>(6, p->memory.size()); ++i)
            firstMinute = std::max(firstMinute, p->memory[i]);
        for (size_t i = 6; i < p->memory.size(); ++i)
            growth = std::max(growth, p->memory[i] - firstMinute);
        const bool memoryOk = p->memory.size() > 6 && growth <= GrowthTargetMiB;
        // Pictures this side received, apart from the windows in which the other side talked.
        double quietLow = 99, talkingLow = 99;
        int quietWindows = 0;
        for (const Program::Window &w : p->picturesIn()) {
            const bool talking = p == &callee && callerSpeaks(w.end);
            double &low = talking ? talkingLow : quietLow;
            low = std::min(low, w.perSecond);
            quietWindows += talking ? 0 : 1;
        }
        const bool picturesOk = quietWindows >= 2 * minutes && quietLow >= PictureFloor;
        QStringList errors;
        for (const QString &line : p->read("ovela.log").split(QStringLiteral("\r\n")))
            if (!expectedLogLine(line)) errors << line;
        const QString stderrText = p->read("stderr.txt").trimmed();
        if (!stderrText.isEmpty()) errors << stderrText;
        const bool exited = p->finished();
        std::printf("%s: memory growth after the first minute %.2f MiB (target <= %.0f MiB)%s\n"
                    "  pictures received: lowest ten-second figure %.1f /s over %d windows "
                    "(target %.0f, counted as >= %.1f)%s",
                    qPrintable(p->name), growth, GrowthTargetMiB, memoryOk ? "" : "  MISSED",
                    quietLow, quietWindows, PictureTarget, PictureFloor,
                    picturesOk ? "" : "  MISSED");
        if (talkingLow < 99)
            std::printf("; while the other side talks or records %.1f /s (speech goes first)",
                        talkingLow);
        std::printf("\n  log and output: %s\n",
                    errors.isEmpty() ? "no error"
                                     : qPrintable("ERRORS\n    " + errors.join("\n    ")));
        if (!exited) std::printf("  the program did not end by itself with status 0\n");
        missed += !memoryOk + !picturesOk + !errors.isEmpty() + !exited;
    }
    std::printf("%s\n", missed ? "Soak: a target was missed." : "Soak: every target met.");
    return missed ? 1 : 0;
}
