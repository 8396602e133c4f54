// OVELA: builds the program's logic and its windows, starts up, and runs until Quit or a
// termination signal, both of which end in the same orderly shutdown.
#include "calls/program.h"
#include "platform/soundplayer.h"
#include "shell/frmmain.h"
#include "shell/scripteduser.h"
#include "shell/shell.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT are turned into an event of the loop, where the shutdown runs.
void watchTerminationSignals(Shell &shell)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &shell);
    QObject::connect(notifier, &QSocketNotifier::activated, &shell, [&shell, notifier] {
        char byte;
        [[maybe_unused]] ssize_t n = ::read(signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        shell.terminate();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// Every connection costs a descriptor: take what the system allows beyond the usual 1,024.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

} // namespace

int main(int argc, char **argv)
{
    raiseDescriptorLimit();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OVELA"));
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList args = QApplication::arguments();
    const QString address = args.size() > 1 ? args.at(1) : QString();

    WavePlayer sounds;
    Shell shell;
    Program program(shell, sounds);
    shell.attach(program);
    watchTerminationSignals(shell);
    // A scripted user (OVELA_SCRIPT) talks, chats and hangs up in demos and end-to-end runs.
    std::unique_ptr<ScriptedUser> user;
    if (qEnvironmentVariableIsSet("OVELA_SCRIPT"))
        user = std::make_unique<ScriptedUser>(qEnvironmentVariable("OVELA_SCRIPT"),
                                              *shell.mainWindow(), program.media);
    program.startUp(shell, address);
    const int result = program.shutDownDone() ? 0 : QApplication::exec();
    program.shutDown();
    shell.releaseWindows();
    return result;
}
