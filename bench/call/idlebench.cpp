// What the program costs while nobody calls: one ovela beside this project's directory server,
// logged in, first with the scripted camera and the self view open (the default), then without a
// camera. After ten seconds to settle, the processor time of all its threads is read for the
// given time (60 s by default) from the kernel's per-thread run times, and printed beside its
// target and the figure before the drawing path was reworked.
//
//   bench_idle [seconds [plain]]
//
// "plain" has the camera make its frames as they are taken, as a program built before prepared
// frames existed needs.
#include "callrunner.h"
#include "freeports.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace
{

// Run time of every thread of a process so far, in seconds.
double runSeconds(qint64 pid)
{
    double ns = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(tid + QStringLiteral("/schedstat")));
        if (f.open(QIODevice::ReadOnly)) ns += f.readAll().split(' ').value(0).toDouble();
    }
    return ns / 1e9;
}

struct Case {
    const char *what;
    const char *camera; // nullptr: none
    double target;      // % of a core
    const char *before;
};

double measure(const Case &c, quint16 directoryPort, double seconds, bool plain)
{
    CallRunner::Program ovela;
    ovela.keepOutput(); // out of the way of the figures
    QProcess &program = ovela.process;
    const quint16 base = FreePorts::basePort(28000, 32000);
    QString camera; // null: none, and no microphone either
    if (c.camera) camera = QLatin1String(c.camera) + (plain ? "" : ":prepared");
    ovela.start(CallRunner::builtBeside("ovela"),
                "[Personal]\nName=Ana Lee\nEMail=ana@example.org\nLocation=Porto\n"
                "DirAddress=127.0.0.1\nDirPort=" +
                    QByteArray::number(directoryPort) + "\n",
                {"--base-port", QString::number(base)},
                {{"OVELA_PAL_HOST", QStringLiteral("127.0.0.1:%1").arg(directoryPort + 1)},
                 {"OVELA_MIC", QString()},
                 {"OVELA_CAMERA", camera}});
    if (!program.waitForStarted()) return -1;
    QThread::sleep(10);
    const double from = runSeconds(program.processId());
    QElapsedTimer clock;
    clock.start();
    QThread::msleep(static_cast<unsigned long>(seconds * 1000));
    const double used = runSeconds(program.processId()) - from;
    const double percent = 100.0 * used / (clock.nsecsElapsed() / 1e9);
    program.terminate();
    program.waitForFinished(10000);
    return program.exitStatus() == QProcess::NormalExit ? percent : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? QString::fromLatin1(argv[1]).toDouble() : 60.0;
    const bool plain = argc > 2 && QLatin1String(argv[2]) == QLatin1String("plain");
    const quint16 directoryPort = FreePorts::basePort(28000, 32000);
    QTemporaryDir shared;
    QProcess directory;
    CallRunner::startDirectory(directory, directoryPort, shared.path());
    if (!directory.waitForStarted()) {
        std::fprintf(stderr, "bench_idle: the directory server did not start\n");
        return 1;
    }
    const Case cases[] = {
        {"self view open, scripted camera 320x240", "pattern:320x240:yuv12", 0.8, "1.5%"},
        {"no camera", nullptr, 0.2, "0.12%"}};
    std::printf("ovela idle for %.0f s, logged in to a directory on this machine:\n", seconds);
    int failures = 0;
    // The targets were set on a faster machine: the time is also given at its speed, from how
    // much longer a JPEG round trip takes here around each measurement.
    CallRunner::MachineSpeed machine;
    for (const Case &c : cases) {
        const double percent = measure(c, directoryPort, seconds, plain);
        if (percent < 0) {
            std::fprintf(stderr, "bench_idle: the program did not run to the end (%s)\n", c.what);
            return 1;
        }
        const double speed = machine.after();
        std::printf("  %-42s %5.2f%% of a core here, %5.2f%% at the reference speed (target <= "
                    "%.1f%%, before %s; JPEG round trip %.2f times the reference's)\n",
                    c.what, percent, percent / speed, c.target, c.before, speed);
        failures += percent / speed > c.target;
    }
    directory.terminate();
    directory.waitForFinished(5000);
    return failures ? 1 : 0;
}
