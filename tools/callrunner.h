// Runs a whole call between two real ovela programs on this machine, each in a folder of its own
// with a scripted camera, microphone and speaker and a scripted user, and measures what crossed:
// used by the demo, the end-to-end tests and the call benchmark.
#pragma once

#include "callanalysis.h"

#include <QImage>
#include <QProcess>
#include <QString>

namespace CallRunner
{

struct Options {
    QString program; // the ovela binary
    QString camera = QStringLiteral("pattern:320x240:yuv12");
    double talkFrom = 1.0, talkUntil = 4.5; // the caller talks (seconds into the call)
    double hangUpAt = 9.0;                  // the caller hangs up
    QString callerChat = QStringLiteral("Hello from Bo");
    QString calleeChat = QStringLiteral("Hi Bo, Ana here");
    int timeoutMs = 60000;
    bool keepFolders = false;
};

struct Side {
    CallAnalysis::Report report;
    QImage lastPicture;     // the last picture received, as the program showed it
    int patternFrame = -1;  // the test-pattern frame it shows
    double picturePsnr = 0; // against that frame as the camera made it
    QString log;            // ovela.log
    QString chat;           // the lines the program received, as its report counted them
    bool exitedCleanly = false;
    std::vector<double> latenciesMs; // capture at the other side to drawing here
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

// For the benchmarks that run programs of their own: whether something on this machine listens
// on a TCP port, a process's resident memory in MiB, and this project's directory server
// started beside the calling program (directory port, pal port one above, a database in dir).
bool listening(quint16 port);
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
