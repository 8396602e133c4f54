// Runs a whole call between two real ovela programs on this machine, each in a folder of its own
// with a scripted camera, microphone and speaker and a scripted user, and measures what crossed:
// used by the demo, the end-to-end tests and the call benchmark. Also how those and the other
// benchmarks start one such program, and what they read of the machine around it.
#pragma once

#include "callanalysis.h"

#include <QImage>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>

namespace CallRunner
{

// One ovela started by a tool, a benchmark or a test, in a scratch folder of its own that is also
// its working folder (its log, lists and message file land there). It is shown offscreen, reads
// its settings from cfg/ovela/ovela.ini in the folder, plays its speaker into speaker.wav, reports
// its calls to report.txt and names the sounds it makes in sounds.txt; its standard output is
// dropped and its errors go to this process's. A program still running at the end is killed.
class Program
{
public:
    Program();
    ~Program();
    // Writes `ini` as the settings and starts `binary` with `arguments`; `env` adds to the
    // environment or overrides it (a null value removes a variable). A program may be started
    // again in the same folder once it has ended.
    // `wrapper` runs the program (for example "ip netns exec NAME" for a network namespace).
    void start(const QString &binary, const QByteArray &ini, const QStringList &arguments,
               const QMap<QString, QString> &env = {}, const QStringList &wrapper = {});
    // Before start(): standard output and error go to stdout.txt and stderr.txt in the folder.
    void keepOutput();
    // Waits up to `ms` for the program to end; whether it has ended by itself with status 0.
    bool finished(int ms = 0);
    QString file(const char *name) const { return dir.filePath(QLatin1String(name)); }
    // A file of the folder as text; empty when there is none.
    QString read(const char *name) const;

    QTemporaryDir dir;
    QProcess process;
};

// A program built beside this one (the build puts every program and engine in one folder).
QString builtBeside(const char *name);

struct Options {
    QString program; // the ovela binary
    QString camera = QStringLiteral("pattern:320x240:yuv12");
    double talkFrom = 1.0, talkUntil = 4.5;         // the caller talks (seconds into the call)
    double calleeTalkFrom = 0, calleeTalkUntil = 0; // the callee too, when set
    double hangUpAt = 9.0;                          // the caller hangs up
    QString callerChat = QStringLiteral("Hello from Bo");
    QString calleeChat = QStringLiteral("Hi Bo, Ana here");
    int timeoutMs = 60000;
    bool keepFolders = false;
    // Each program may run inside a wrapper (a network namespace); the caller then calls the
    // callee at calleeAddress.
    QStringList calleeWrapper, callerWrapper;
    QString calleeAddress = QStringLiteral("127.0.0.1");
    quint16 calleeBasePort = 0;       // 0: a free one
    QMap<QString, QString> calleeEnv; // more of the callee's environment
    // Files written into each program's folder before it starts (path in the folder, content):
    // cfg/ovela/ holds its settings folder.
    QMap<QString, QByteArray> calleeFiles, callerFiles;
    // Once the callee listens on calleeBasePort: the port the caller then calls at
    // calleeAddress (a router may forward another), or 0 with *error set to stop the run.
    std::function<quint16(Program &callee, quint16 calleePort, QString *error)> beforeCall;
};

struct Side {
    CallAnalysis::Report report;
    QImage lastPicture;     // the last picture received, as the program showed it
    int patternFrame = -1;  // the test-pattern frame it shows
    double picturePsnr = 0; // against that frame as the camera made it
    QString log;            // ovela.log
    QString chat;           // the lines the program received, as its report counted them
    bool exitedCleanly = false;
    std::vector<double> latenciesMs;       // capture at the other side to drawing here
    std::vector<double> speechLatenciesMs; // recording there to arrival here, per block
};

struct Result {
    bool ran = false;
    QString error;
    Side callee, caller;          // callee: started first, accepts by itself
    double speechCorrelation = 0; // the caller's speech as the callee's speaker played it
    double speechSeconds = 0;     // how much speech was compared
};

Result run(const Options &options);

// Median and a high percentile of a list.
double percentile(std::vector<double> values, double p);

// One direction of a call as a slow link shows it: pictures drawn a second, the capture-to-draw
// delay of the pictures drawn in the second half of the call, and the speech blocks sent and
// received, with the 90% delay of those from recording to arrival.
struct Flow {
    double picturesPerSecond = 0, medianMs = 0, p90Ms = 0;
    qint64 blocksSent = 0, blocksReceived = 0;
    double speechP90Ms = 0;
};
Flow flow(const Side &sender, const Side &receiver);

// For the benchmarks that run programs of their own: whether something on this machine listens
// on a TCP port (waiting up to waitMs for it), a process's resident memory in MiB, and this
// project's directory server started beside the calling program (directory port, pal port one
// above, a database in dir).
// With a process, in that process's network namespace.
bool listening(quint16 port, int waitMs = 0, qint64 pid = 0);
double residentMiB(qint64 pid);
void startDirectory(QProcess &server, quint16 port, const QString &dir);

// The speed of this machine at the moment, for benchmarks whose targets were set on another:
// the median time of one JPEG compression and one decompression of a 640 x 480 picture of the
// test pattern at the quality a call codes it with, through the video engine. On the machine the
// call's processor-time targets were set on they took 0.38 and 0.31 ms.
inline constexpr double ReferenceJpegMs = 0.69;
double jpegRoundTripMs();
// How many times longer that round trip takes here than on the reference machine around each
// measurement (the mean of its times before and after): construct before the first, call
// after() after each.
class MachineSpeed
{
public:
    MachineSpeed() : m_before(jpegRoundTripMs()) {}
    double after()
    {
        const double now = jpegRoundTripMs();
        const double factor = (m_before + now) / 2 / ReferenceJpegMs;
        m_before = now;
        return factor;
    }

private:
    double m_before;
};

} // namespace CallRunner
