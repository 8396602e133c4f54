// OVELA: reads the command line, builds the program's logic and its windows, starts up, and runs
// until Quit or a termination signal, both of which end in the same orderly shutdown.
#include "calls/callreport.h"
#include "platform/desktopnotifications.h"
#include "platform/linetransport.h"
#include "platform/processsetup.h"
#include "platform/soundplayer.h"
#include "program/commandline.h"
#include "program/doctorconsole.h"
#include "program/program.h"
#include "program/ui/programwindows.h"
#include "program/ui/scripteduser.h"
#include "program/unattended.h"
#include "shell/ui/mainwindow.h"
#include "shell/ui/talkkeygrab.h"
#include "version.h"
#include "widgets/videosurface.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace
{

// Qt's own warnings and debugging notes ("This plugin does not support raise()", a missing
// XDG_RUNTIME_DIR) mean nothing to a user: only errors reach the terminal, unless OVELA_DEBUG is
// set. The program's own messages for a person go to standard error directly.
void quietQtMessages(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    static const bool debugging = qEnvironmentVariableIsSet("OVELA_DEBUG");
    if (type == QtFatalMsg || type == QtCriticalMsg || debugging)
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
    if (type == QtFatalMsg) std::abort();
}

// Reads the command line before any window exists; false with the exit status when the program
// should end at once (help, version, a mistake).
bool readCommandLine(int argc, char **argv, CommandLine *line, int *status)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    *line = CommandLine::parse(arguments, qEnvironmentVariable("OVELA_BASE_PORT"));
    if (!line->error.isEmpty()) {
        std::fprintf(stderr, "ovela: %s\nTry 'ovela --help' for more information.\n",
                     qPrintable(line->error));
        *status = 2;
        return false;
    }
    if (line->help || line->version) {
        const QString text =
            line->help ? CommandLine::usage() : QStringLiteral("ovela %1\n").arg(ProgramVersion);
        std::fputs(qPrintable(text), stdout);
        *status = 0;
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    CommandLine line;
    if (int status = 0; !readCommandLine(argc, argv, &line, &status)) return status;
    if (line.doctor) return runDoctorOnConsole(argc, argv, line.basePort);
    // A program that answers by itself opens no window: it runs the same windows offscreen.
    if (line.unattended) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a display Qt would abort with a message about plugins; say what is wrong instead.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "ovela: no display to open windows on (neither DISPLAY nor "
                             "WAYLAND_DISPLAY is set). Start it from a desktop session, or set "
                             "QT_QPA_PLATFORM=offscreen to run it without windows.\n");
        return 1;
    }
    raiseDescriptorLimit();
    qInstallMessageHandler(quietQtMessages);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OVELA"));
    QApplication::setApplicationVersion(ProgramVersion);
    // Desktops that match windows to their desktop entry by name (Wayland) find ovela.desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("ovela"));
    QApplication::setQuitOnLastWindowClosed(false);

    WavePlayer sounds;
    TcpTransports network;
    ProgramWindows windows;
    ProgramConfig config;
    config.basePort = line.basePort;
    DesktopNotifications notifications; // outlives the program, which shows notices through it
    // Without a person, what would wait in a window for an OK goes to standard error.
    ConsoleMessages console;
    UserMessages &messages = line.unattended ? static_cast<UserMessages &>(console) : windows;
    Program program(messages, sounds, network, config);
    const WindowModels models = program.windowModels();
    windows.attach(models);
    std::unique_ptr<TalkKeyGrab> talkKey;
    if (line.unattended) {
        program.answerUnattended(*line.unattended);
    } else {
        // The desktop around the windows: its notifications and, where it has one, its tray.
        program.attachNotifications(notifications);
        windows.attachTray(program.trayStatus(), program.desktopOptions(),
                           [&program] { program.keptRunningInTray(); });
        // The push-to-talk key from any window (an X server grab; elsewhere OVELA's windows
        // only).
        talkKey = std::make_unique<TalkKeyGrab>(program.talkKey(), QGuiApplication::platformName());
    }
    // SIGTERM and SIGINT end in the same orderly shutdown as Quit.
    watchTerminationSignals(&windows, [&windows] { windows.terminate(); });

    // OVELA_REPORT names a file that receives what crossed in each call (demos, end-to-end runs,
    // the call benchmark), with the last picture received beside it.
    std::unique_ptr<CallReport> report;
    if (const QString path = qEnvironmentVariable("OVELA_REPORT"); !path.isEmpty())
        report = std::make_unique<CallReport>(
            program.mediaSession(), path, [&windows](const QString &picturePath) {
                const QImage last = windows.mainWindow()->videoSurface()->lastPicture();
                if (!last.isNull()) last.save(picturePath);
            });
    // A scripted user (OVELA_SCRIPT) talks, chats and hangs up in demos and end-to-end runs.
    std::unique_ptr<ScriptedUser> user;
    if (qEnvironmentVariableIsSet("OVELA_SCRIPT"))
        user = std::make_unique<ScriptedUser>(qEnvironmentVariable("OVELA_SCRIPT"),
                                              *windows.mainWindow(), models);
    program.startUp(windows, line.address);
    const int result = program.shutDownDone() ? 0 : QApplication::exec();
    program.shutDown();
    windows.releaseWindows();
    return result;
}
