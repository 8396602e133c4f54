// ovela-directory: the directory and pal server of OVELA. Runs until SIGTERM or SIGINT.
#include "directoryserver.h"
#include "idstore.h"
#include "options.h"
#include "platform/processsetup.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace
{

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

    if (!watchTerminationSignals(&app, [] { QCoreApplication::quit(); }))
        return fail(QStringLiteral("no pipe for signals"));

    std::printf("ovela-directory %s listening: directory on port %u, pal server on port %u\n",
                OVELA_VERSION, unsigned(server.directoryPort()), unsigned(server.palPort()));
    std::fflush(stdout);
    return app.exec();
}
