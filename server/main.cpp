// ovela-directory: the directory and pal server of OVELA. Runs until SIGTERM or SIGINT, or does
// the operator's work on the database and exits.
#include "directoryserver.h"
#include "idstore.h"
#include "log.h"
#include "options.h"
#include "platform/processsetup.h"
#include "presence.h"

#include <QCoreApplication>
#include <QDateTime>

#include <csignal>
#include <cstdio>

namespace
{

int fail(const QString &message)
{
    Log::error(message);
    return 1;
}

// --release and --list-owners.
int ownersWork(const CommandLine &line, IdStore &ids)
{
    if (!line.releaseEmail.isEmpty()) {
        const QString email = Presence::emailKey(line.releaseEmail);
        const std::optional<qint32> owner = ids.releaseEmail(email);
        if (!owner) return fail(QStringLiteral("the database failed; nothing was released"));
        if (*owner == 0) return fail(email + QStringLiteral(" was nobody's"));
        std::printf("%s released from user ID %d\n", qPrintable(email), int(*owner));
    }
    if (line.listOwners) {
        const auto owners = ids.bindings();
        if (!owners) return fail(QStringLiteral("the database failed"));
        for (const IdStore::Binding &b : *owners)
            std::printf(
                "%s\t%d\t%s\n", qPrintable(b.email), int(b.id),
                qPrintable(QDateTime::fromSecsSinceEpoch(b.since, Qt::UTC).toString(Qt::ISODate)));
    }
    return 0;
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
    Log::setLevel(config.logLevel);

    if (!line.releaseEmail.isEmpty() || line.listOwners) {
        IdStore ids;
        if (!ids.open(config.database, &error)) return fail(error);
        return ownersWork(line, ids);
    }
    DirectoryServer server(config);
    if (!server.start(&error)) return fail(error);

    if (!watchTerminationSignals(&app, [] { QCoreApplication::quit(); }))
        return fail(QStringLiteral("no pipe for signals"));

    std::printf("ovela-directory %s listening: directory on port %u, pal server on port %u\n",
                OVELA_VERSION, unsigned(server.directoryPort()), unsigned(server.palPort()));
    std::fflush(stdout);
    return app.exec();
}
