// Running a call between two programs, and starting one program for a run.
#include "callrunner.h"

#include "freeports.h"
#include "rxvlib11.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <memory>

namespace CallRunner
{
namespace
{

// The test-pattern frame a received picture shows, and how closely it shows it.
void comparePicture(Side &side)
{
    if (side.lastPicture.isNull()) return;
    const QImage rgb = side.lastPicture.convertToFormat(QImage::Format_BGR888);
    const int w = rgb.width(), h = rgb.height();
    std::vector<uint8_t> bottomUp(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y)
        std::memcpy(&bottomUp[size_t(h - 1 - y) * size_t(w) * 3], rgb.constScanLine(y),
                    size_t(w) * 3);
    side.patternFrame = QVIDTestPatternNumber(bottomUp.data(), w, h);
    if (side.patternFrame < 0) return;
    std::vector<uint8_t> sent(bottomUp.size());
    if (QVIDTestPattern("rgb24", w, h, side.patternFrame, sent.data(), int32_t(sent.size())) <= 0)
        return;
    const QImage original =
        QImage(sent.data(), w, h, w * 3, QImage::Format_BGR888).mirrored(false, true);
    side.picturePsnr = CallAnalysis::psnr(side.lastPicture, original);
}

// Each picture and speech block crosses in order on one connection: the n-th received is the
// n-th sent.
void latencies(const CallAnalysis::Report &sender, Side &receiver)
{
    const auto pair = [](const std::vector<qint64> &sent, const std::vector<qint64> &received,
                         std::vector<double> &out) {
        for (size_t i = 0; i < std::min(sent.size(), received.size()); ++i)
            out.push_back(double(received[i] - sent[i]));
    };
    pair(sender.sentCaptureMs, receiver.report.drawnMs, receiver.latenciesMs);
    pair(sender.sentSpeechMs, receiver.report.arrivedSpeechMs, receiver.speechLatenciesMs);
}

QByteArray script(const Options &o, bool caller)
{
    QString s;
    if (caller) {
        if (o.talkUntil > o.talkFrom)
            s += QStringLiteral("talk:%1-%2;").arg(o.talkFrom).arg(o.talkUntil);
        if (!o.callerChat.isEmpty())
            s += QStringLiteral("chat:%1:%2;").arg(o.talkFrom + 0.5).arg(o.callerChat);
        s += QStringLiteral("hangup:%1;").arg(o.hangUpAt);
    } else {
        if (o.calleeTalkUntil > o.calleeTalkFrom)
            s += QStringLiteral("talk:%1-%2;").arg(o.calleeTalkFrom).arg(o.calleeTalkUntil);
        if (!o.calleeChat.isEmpty())
            s += QStringLiteral("chat:%1:%2;").arg(o.talkUntil + 0.5).arg(o.calleeChat);
    }
    s += QStringLiteral("quit:1");
    return s.toUtf8();
}

} // namespace

double percentile(std::vector<double> values, double p)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[at];
}

Flow flow(const Side &sender, const Side &receiver)
{
    Flow f;
    const CallAnalysis::Report &r = receiver.report;
    f.picturesPerSecond = r.seconds > 0 ? double(r.picturesReceived) / r.seconds : 0;
    if (!r.drawnMs.empty()) {
        const qint64 half = (r.drawnMs.front() + r.drawnMs.back()) / 2;
        std::vector<double> late;
        for (size_t i = 0; i < receiver.latenciesMs.size(); ++i)
            if (r.drawnMs[i] >= half) late.push_back(receiver.latenciesMs[i]);
        f.medianMs = percentile(late, 0.5);
        f.p90Ms = percentile(late, 0.9);
    }
    f.blocksSent = sender.report.speechBlocksSent;
    f.blocksReceived = r.speechBlocksReceived;
    f.speechP90Ms = percentile(receiver.speechLatenciesMs, 0.9);
    return f;
}

Program::Program()
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
}

Program::~Program()
{
    if (process.state() == QProcess::NotRunning) return;
    process.kill();
    process.waitForFinished(3000);
}

void Program::start(const QString &binary, const QByteArray &ini, const QStringList &arguments,
                    const QMap<QString, QString> &env, const QStringList &wrapper)
{
    QDir(dir.path()).mkpath(QStringLiteral("cfg/ovela"));
    QDir(dir.path()).mkpath(QStringLiteral("run"));
    QFile settings(file("cfg/ovela/ovela.ini"));
    if (settings.open(QIODevice::WriteOnly)) settings.write(ini);
    settings.close();
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    e.insert(QStringLiteral("XDG_CONFIG_HOME"), file("cfg"));
    // Qt asks for a runtime folder; one of the program's own leaves the user's alone.
    e.insert(QStringLiteral("XDG_RUNTIME_DIR"), file("run"));
    // Nor does it reach the desktop's session bus (a notification on the developer's screen for
    // each test call) unless the caller hands it one.
    e.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
             QStringLiteral("unix:path=") + file("run/bus"));
    e.insert(QStringLiteral("OVELA_SPEAKER"), QStringLiteral("wav:") + file("speaker.wav"));
    e.insert(QStringLiteral("OVELA_REPORT"), file("report.txt"));
    e.insert(QStringLiteral("OVELA_SOUND_LOG"), file("sounds.txt"));
    // Demos and benchmarks leave the machine's router alone.
    e.insert(QStringLiteral("OVELA_MAP_PORTS"), QStringLiteral("No"));
    for (auto it = env.begin(); it != env.end(); ++it) {
        if (it.value().isNull())
            e.remove(it.key());
        else
            e.insert(it.key(), it.value());
    }
    process.setProcessEnvironment(e);
    process.setWorkingDirectory(dir.path());
    if (wrapper.isEmpty())
        process.start(binary, arguments);
    else
        process.start(wrapper.first(), wrapper.mid(1) + QStringList{binary} + arguments);
}

void Program::keepOutput()
{
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardOutputFile(file("stdout.txt"));
    process.setStandardErrorFile(file("stderr.txt"));
}

bool Program::finished(int ms)
{
    if (ms > 0 && process.state() != QProcess::NotRunning) process.waitForFinished(ms);
    return process.state() == QProcess::NotRunning &&
           process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString Program::read(const char *name) const
{
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString builtBeside(const char *name)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(name));
}

Result run(const Options &o)
{
    Result result;
    const quint16 calleePort =
        o.calleeBasePort ? o.calleeBasePort : FreePorts::basePort(28000, 32000);
    const quint16 callerPort = FreePorts::basePort(28000, 32000);
    if (calleePort == 0 || callerPort == 0) {
        result.error = QStringLiteral("no free ports on this machine");
        return result;
    }
    QTemporaryDir shared;
    const QString speech = shared.filePath(QStringLiteral("speech.wav"));
    CallAnalysis::writeSpeechLikeWav(speech, 20);

    auto callee = std::make_unique<Program>();
    auto caller = std::make_unique<Program>();
    callee->dir.setAutoRemove(!o.keepFolders);
    caller->dir.setAutoRemove(!o.keepFolders);
    for (const auto &[program, files] :
         {std::pair{callee.get(), &o.calleeFiles}, std::pair{caller.get(), &o.callerFiles}}) {
        for (auto it = files->begin(); it != files->end(); ++it) {
            const QString path = program->dir.filePath(it.key());
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            if (file.open(QIODevice::WriteOnly)) file.write(it.value());
        }
    }
    QMap<QString, QString> calleeEnv = o.calleeEnv;
    calleeEnv.insert(QStringLiteral("OVELA_CAMERA"), o.camera);
    calleeEnv.insert(QStringLiteral("OVELA_MIC"), "wav:" + speech);
    calleeEnv.insert(QStringLiteral("OVELA_SCRIPT"), QString::fromUtf8(script(o, false)));
    callee->start(o.program,
                  "[Personal]\nName=Ana Lee\nEMail=ana@example.org\nLocation=Porto\n"
                  "[Calling]\nAutoAccept=True\nEnableRTC=False\n",
                  {QStringLiteral("--base-port"), QString::number(calleePort)}, calleeEnv,
                  o.calleeWrapper);
    if (!listening(calleePort + 3, 10000, callee->process.processId())) {
        result.error = QStringLiteral("the first program did not start listening");
        return result;
    }
    quint16 calledPort = calleePort;
    if (o.beforeCall && (calledPort = o.beforeCall(*callee, calleePort, &result.error)) == 0)
        return result;
    // Chat in line mode, so each typed line crosses as one counted chat line.
    caller->start(o.program,
                  "[Personal]\nName=Bo Smith\nEMail=bo@example.org\nLocation=Oslo\n"
                  "[Calling]\nEnableRTC=False\n",
                  {QStringLiteral("--base-port"), QString::number(callerPort),
                   QStringLiteral("%1:%2").arg(o.calleeAddress).arg(calledPort)},
                  {{"OVELA_CAMERA", o.camera},
                   {"OVELA_MIC", "wav:" + speech},
                   {"OVELA_SCRIPT", QString::fromUtf8(script(o, true))}},
                  o.callerWrapper);
    caller->finished(o.timeoutMs);
    callee->finished(5000);
    result.ran = true;

    Side *sides[] = {&result.callee, &result.caller};
    Program *programs[] = {callee.get(), caller.get()};
    for (int i = 0; i < 2; ++i) {
        Side &side = *sides[i];
        Program &p = *programs[i];
        side.exitedCleanly = p.finished();
        side.report = CallAnalysis::readReport(p.file("report.txt"));
        side.lastPicture = QImage(p.file("report.txt.png"));
        side.log = p.read("ovela.log");
        comparePicture(side);
    }
    latencies(result.caller.report, result.callee);
    latencies(result.callee.report, result.caller);

    const std::vector<float> spoken = CallAnalysis::readWav(speech);
    const std::vector<float> heard = CallAnalysis::readWav(callee->file("speaker.wav"));
    // The microphone plays the file from its start each time talking starts; compare the part
    // that was surely sent (the last block may be cut).
    result.speechSeconds = std::max(0.0, o.talkUntil - o.talkFrom - 0.5);
    result.speechCorrelation =
        CallAnalysis::bestCorrelation(spoken, heard, size_t(result.speechSeconds * 8000));
    return result;
}

bool listening(quint16 port, int waitMs, qint64 pid)
{
    const QString hex = QStringLiteral(":%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    const QString table =
        pid > 0 ? QStringLiteral("/proc/%1/net/tcp").arg(pid) : QStringLiteral("/proc/net/tcp");
    const auto listed = [&] {
        QFile f(table);
        if (!f.open(QIODevice::ReadOnly)) return false;
        for (const QByteArray &raw : f.readAll().split('\n')) {
            const QStringList cols = QString::fromLatin1(raw).simplified().split(QLatin1Char(' '));
            if (cols.size() > 3 && cols[1].endsWith(hex) && cols[3] == QLatin1String("0A"))
                return true;
        }
        return false;
    };
    QElapsedTimer clock;
    clock.start();
    while (!listed()) {
        if (clock.elapsed() >= waitMs) return false;
        QThread::msleep(100);
    }
    return true;
}

double residentMiB(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const auto m = QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+) kB")).match(f.readAll());
    return m.hasMatch() ? m.captured(1).toDouble() / 1024 : 0;
}

void startDirectory(QProcess &server, quint16 port, const QString &dir)
{
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.setStandardOutputFile(QProcess::nullDevice());
    server.start(builtBeside("ovela-directory"),
                 {"--directory-port", QString::number(port), "--pal-port",
                  QString::number(port + 1), "--database",
                  QDir(dir).filePath(QStringLiteral("directory.db"))});
}

double jpegRoundTripMs()
{
    constexpr int width = 640, height = 480, quality = 27, rounds = 41;
    std::vector<uint8_t> picture(std::size_t(width) * height * 3), jpeg(picture.size());
    std::vector<double> ms;
    for (int k = 0; k < rounds; ++k) {
        if (QVIDTestPattern("rgb24", width, height, k, picture.data(), int32_t(picture.size())) <=
            0)
            return 0;
        QElapsedTimer clock;
        clock.start();
        const int32_t n = QVIDCompressStill(picture.data(), width, height, quality, jpeg.data(),
                                            int32_t(jpeg.size()));
        int16_t w = 0, h = 0;
        if (n <= 0 || QVIDUnCompressStill(jpeg.data(), n, &w, &h, picture.data()) <= 0) return 0;
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    return percentile(ms, 0.5);
}

} // namespace CallRunner
