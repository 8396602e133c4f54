// Floods and slow clients on every listener of a program and of the directory server, while two
// real programs are in a call: a thousand connections that send nothing (held five seconds), a
// 100 MB line without its terminator, ten thousand connections opened and closed at once, and a
// client that sends one byte a second. For each: the pictures each way during the flood, the
// resident memory the flooded program or server gained, and whether a real caller, a quick
// message, a directory login and the pal server are served once it has stopped.
//
//   bench_floods
//
// Targets: 13 pictures per second each way throughout; memory within the bounds of the README's
// section on hostile input (at most 200 connections per listener, 256 KiB of an unfinished line
// per connection); everything served after each flood. The exit status is 1 when one is missed.
#include "callanalysis.h"
#include "callrunner.h"
#include "freeports.h"
#include "loopback.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace
{

using benchsupport::connectTo;

constexpr double PictureFloor = 12.5; // 13 a second, as a ten-second figure shows it

qint64 nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// ---- raw clients -------------------------------------------------------------------------

bool stillOpen(int fd)
{
    char c;
    const ssize_t n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    return n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
}

// Sends `bytes` and reads until `answer` arrives; false after `ms`.
bool ask(int fd, const QByteArray &bytes, const QByteArray &answer, int ms = 5000)
{
    if (!bytes.isEmpty() && ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) < 0)
        return false;
    QByteArray got;
    const qint64 until = nowMs() + ms;
    while (!got.contains(answer) && nowMs() < until) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        got.append(buffer, n);
    }
    return got.contains(answer);
}

struct Served {
    const char *what;
    std::function<bool()> check;
};

// ---- floods ------------------------------------------------------------------------------

int openFiles(qint64 pid)
{
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot).size());
}

// A thousand connections that send nothing, held for five seconds; how many the listening
// process held (its open descriptors) at the end.
int idleFlood(quint16 port, int from, qint64 pid)
{
    const int before = openFiles(pid);
    std::vector<int> fds;
    for (int i = 0; i < 1000; ++i)
        if (const int fd = connectTo(port, false, from); fd >= 0) fds.push_back(fd);
    QThread::msleep(5000);
    const int held = openFiles(pid) - before;
    for (int fd : fds)
        ::close(fd);
    return held;
}

// A 100 MB line without its terminator; how much of it the listener took before it closed.
qint64 longLine(quint16 port)
{
    const int fd = connectTo(port);
    const QByteArray block(64 * 1024, 'x');
    qint64 sent = 0;
    timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    while (sent < 100 * 1000 * 1000) {
        const ssize_t n = ::send(fd, block.constData(), size_t(block.size()), MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += n;
    }
    ::close(fd);
    return sent;
}

// Ten thousand connections opened and closed at once.
int cycles(quint16 port, int from)
{
    int made = 0;
    for (int i = 0; i < 10000; ++i) {
        const int fd = connectTo(port, true, from);
        if (fd < 0) continue;
        ++made;
        ::close(fd);
    }
    return made;
}

// One byte a second until the listener closes the connection; the seconds that took (-1: it
// was still open after `most` seconds).
int slowClient(quint16 port, int most)
{
    const int fd = connectTo(port);
    for (int s = 0; s < most; ++s) {
        if (::send(fd, "R", 1, MSG_NOSIGNAL) < 0 || !stillOpen(fd)) {
            ::close(fd);
            return s;
        }
        QThread::msleep(1000);
    }
    ::close(fd);
    return -1;
}

void start(CallRunner::Program &p, const QByteArray &ini, const QStringList &args,
           const QString &speech)
{
    p.start(CallRunner::builtBeside("ovela"), ini, args,
            {{"OVELA_CAMERA", "pattern:320x240:yuv12"}, {"OVELA_MIC", "wav:" + speech}});
}

// Pictures per second drawn between two moments, from a report's drawing times.
double picturesPerSecond(const std::vector<qint64> &drawn, qint64 from, qint64 to)
{
    const auto n =
        std::count_if(drawn.begin(), drawn.end(), [&](qint64 t) { return t >= from && t < to; });
    return to > from ? n * 1000.0 / double(to - from) : 0;
}

struct Phase {
    QString listener, flood, result;
    qint64 from = 0, to = 0;
    double memoryMiB = 0; // resident memory gained by the flooded process, at its peak
    bool served = true;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
    const quint16 calleeBase = FreePorts::basePort(28000, 32000);
    const quint16 callerBase = FreePorts::basePort(28000, 32000);
    const quint16 directoryPort = FreePorts::basePort(28000, 32000);
    QTemporaryDir shared;
    const QString speech = shared.filePath(QStringLiteral("speech.wav"));
    CallAnalysis::writeSpeechLikeWav(speech, 20);

    QProcess directory;
    CallRunner::startDirectory(directory, directoryPort, shared.path());
    CallRunner::Program callee, caller;
    start(callee, "[Personal]\nName=Ana Lee\nLocation=Porto\n[Calling]\nAutoAccept=True\n",
          {"--base-port", QString::number(calleeBase)}, speech);
    QThread::msleep(1500);
    start(caller, "[Personal]\nName=Bo Smith\nLocation=Oslo\n",
          {"--base-port", QString::number(callerBase),
           QStringLiteral("127.0.0.1:%1").arg(calleeBase)},
          speech);
    QThread::msleep(5000); // the call settles

    const qint64 ana = callee.process.processId(), server = directory.processId();
    // Whether each listener serves real users once a flood is over.
    const Served served[] = {
        {"a caller (busy: in a call)",
         [&] {
             const int fd = connectTo(calleeBase);
             const bool ok = ask(fd, "RQC;Cy;Here;10:00;", "BSY");
             ::close(fd);
             return ok;
         }},
        {"a quick message (asked for, and accepted)",
         [&] {
             const int fd = connectTo(calleeBase + 2);
             const bool ok = ask(fd, "MSR;7;<E>", "MRA;<E>");
             ::close(fd);
             return ok;
         }},
        {"a directory login and its list",
         [&] {
             const int fd = connectTo(directoryPort);
             const bool ok =
                 ask(fd, "LGN;-1;Cy;cy@x;Here;;0;NO;NO;2.5;YES;NO;v1.2;2000;<ET>LS1<ET>", "LS1;");
             ::close(fd);
             return ok;
         }},
        {"a new user ID", [&] {
             const int fd = connectTo(directoryPort + 1);
             const bool ok = ask(fd, "RSN;<ET>", "NSN;");
             ::close(fd);
             return ok;
         }}};
    struct Listener {
        const char *name;
        quint16 port;
        qint64 pid;
    };
    const Listener listeners[] = {{"program: calls", calleeBase, ana},
                                  {"program: media", quint16(calleeBase + 1), ana},
                                  {"program: quick messages", quint16(calleeBase + 2), ana},
                                  {"program: text chat", quint16(calleeBase + 3), ana},
                                  {"server: directory", directoryPort, server},
                                  {"server: pal", quint16(directoryPort + 1), server}};

    // One byte a second on every listener, all the while.
    std::atomic<int> slowSeconds[6];
    std::vector<std::thread> slow;
    for (int i = 0; i < 6; ++i)
        slow.emplace_back([&, i] { slowSeconds[i] = slowClient(listeners[i].port, 180); });

    std::vector<Phase> phases;
    std::atomic<bool> sampling{false};
    std::atomic<qint64> sampled{0};
    std::atomic<double> peak{0};
    std::thread sampler([&] {
        while (sampled.load() >= 0) {
            if (sampling) peak = std::max(peak.load(), CallRunner::residentMiB(sampled));
            QThread::msleep(50);
        }
    });
    const char *const floods[] = {"1,000 idle connections", "a 100 MB line",
                                  "10,000 connect/close"};
    for (const Listener &l : listeners) {
        const int from = 10 + int(&l - listeners);
        for (int f = 0; f < 3; ++f) {
            Phase p;
            p.listener = QLatin1String(l.name);
            p.flood = QLatin1String(floods[f]);
            const double before = CallRunner::residentMiB(l.pid);
            sampled = l.pid;
            peak = before;
            sampling = true;
            p.from = nowMs();
            if (f == 0) p.result = QStringLiteral("%1 held").arg(idleFlood(l.port, from, l.pid));
            if (f == 1)
                p.result = QStringLiteral("%1 MB taken").arg(longLine(l.port) / 1e6, 0, 'f', 1);
            if (f == 2) p.result = QStringLiteral("%1 made").arg(cycles(l.port, from));
            p.to = nowMs();
            QThread::msleep(500);
            sampling = false;
            p.memoryMiB = peak - before;
            for (const Served &s : served)
                p.served = p.served && s.check();
            phases.push_back(p);
            std::printf("%-24s %-24s %-16s %5.1f s  +%.1f MiB  %s\n", l.name, floods[f],
                        qPrintable(p.result), (p.to - p.from) / 1000.0, p.memoryMiB,
                        p.served ? "served after" : "NOT SERVED after");
            std::fflush(stdout);
        }
    }
    sampled = -1;
    sampler.join();
    for (std::thread &t : slow)
        t.join();
    // The last flood's pictures are counted over five seconds from its start: the call runs on
    // past them.
    QThread::msleep(6000);

    // The call's pictures, from both reports once the call has ended.
    caller.process.terminate();
    caller.process.waitForFinished(10000);
    callee.process.terminate();
    callee.process.waitForFinished(10000);
    directory.terminate();
    directory.waitForFinished(5000);
    const auto toAna = CallAnalysis::readReport(callee.file("report.txt")).drawnMs;
    const auto toBo = CallAnalysis::readReport(caller.file("report.txt")).drawnMs;

    int missed = 0;
    std::printf("\nFloods during a call (320 x 240), pictures per second each way during each "
                "flood (target 13, counted as >= %.1f):\n%-24s %-24s %8s %8s %10s %s\n",
                PictureFloor, "listener", "flood", "Bo->Ana", "Ana->Bo", "memory", "afterwards");
    for (const Phase &p : phases) {
        // A flood shorter than five seconds is measured over the five seconds from its start:
        // a picture comes every 75 ms, so a shorter stretch of time holds too few to count.
        const qint64 to = std::max(p.to, p.from + 5000);
        const double in = picturesPerSecond(toAna, p.from, to);
        const double out = picturesPerSecond(toBo, p.from, to);
        const bool ok = in >= PictureFloor && out >= PictureFloor && p.served;
        missed += ok ? 0 : 1;
        std::printf("%-24s %-24s %8.1f %8.1f %+8.1f MiB %s%s\n", qPrintable(p.listener),
                    qPrintable(p.flood), in, out, p.memoryMiB,
                    p.served ? "all served" : "NOT SERVED", ok ? "" : "  MISSED");
    }
    std::printf("\nOne byte a second: let go after");
    for (int i = 0; i < 6; ++i)
        std::printf("%s %s %s", i ? "," : "", listeners[i].name,
                    slowSeconds[i] < 0 ? "never (3 minutes)"
                                       : qPrintable(QStringLiteral("%1 s").arg(slowSeconds[i])));
    std::printf("\n%s\n", missed ? "Floods: a target was missed." : "Floods: every target met.");
    return missed ? 1 : 0;
}
