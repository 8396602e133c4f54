// ovela-directory: the directory and pal server of OVELA. Runs until SIGTERM or SIGINT.
#include "directoryserver.h"
#include "idstore.h"
#include "options.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace
{

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// Every connection costs a descriptor: take what the system allows beyond the usual 1,024.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

int fail(const QString &message)
{
    std::fprintf(stderr, "ovela-directory: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    raiseDescriptorLimit();
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ovela-directory"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OVELA_VERSION));

    const CommandLine line = parseCommandLine(QCoreApplication::arguments());
    if (line.exit) {
        std::fputs(qPrintable(line.output), stdout);
        std::fputs(qPrintable(line.error), stderr);
        return line.exitCode;
    }
    ServerConfig config;
    QString error;
    if (!line.configFile.isEmpty() && !loadConfig(line.configFile, &config, &error))
        return fail(error);
    applyCommandLine(line, &config);

    IdStore ids;
    if (!ids.open(config.database, &error)) return fail(error);
    DirectoryServer server(config, ids);
    if (!server.start(&error)) return fail(error);

    if (::pipe2(signalPipe, O_CLOEXEC) != 0) return fail(QStringLiteral("no pipe for signals"));
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char byte;
        [[maybe_unused]] ssize_t n = ::read(signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    std::printf("ovela-directory %s listening: directory on port %u, pal server on port %u\n",
                OVELA_VERSION, unsigned(server.directoryPort()), unsigned(server.palPort()));
    std::fflush(stdout);
    return app.exec();
}
