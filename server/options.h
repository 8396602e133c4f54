// What the server is told: its command line and its configuration file.
#pragma once

#include "log.h"
#include "protocol/directory.h"
#include "protocol/pal.h"

#include <QString>
#include <QStringList>

#include <optional>

// The command line: ovela-directory [--directory-port N] [--pal-port N] [--database URL]
// [--config FILE] [--log-level LEVEL] [--release EMAIL] [--list-owners]. A value left out is empty
// here, so the configuration file may give it.
struct CommandLine {
    bool exit = false; // help, version or a mistake: print `output` / `error` and end
    int exitCode = 0;
    QString output, error;
    std::optional<quint16> directoryPort, palPort;
    QString database, configFile;
    std::optional<Log::Level> logLevel;
    // The operator's work on the database, done instead of serving.
    QString releaseEmail; // frees this address for whoever claims it next
    bool listOwners = false;
};
CommandLine parseCommandLine(const QStringList &arguments); // arguments[0] is the program

// The configuration file, an INI file (see README.md). Every value has a default, so the server
// runs without one.
struct ServerConfig {
    quint16 directoryPort = Directory::DefaultPort;
    quint16 palPort = Pal::DefaultPort;
    QString database; // empty: the SQLite file in the data folder
    // With PostgreSQL: who is online is shared with the other servers on the database, and a
    // server not heard of for this long is taken for dead with its users.
    bool sharePresence = true;
    int serverTimeoutSeconds = 15;
    QString listenAddress = "0.0.0.0"; // IPv4: the protocol carries dotted IPv4 addresses

    QString welcome = QStringLiteral("Welcome to this OVELA directory.");
    QStringList messages;                        // "MSG" notices after each login
    QList<Directory::ServerChoice> servers;      // "VCL" after each login when not empty
    std::optional<Directory::Redirect> redirect; // "RDM" after each login
    int maxUsers = 0;                            // directory logins at once; 0: no limit
    QString busyText = QStringLiteral("This directory is full. Please try again later.");
    Log::Level logLevel = Log::Info; // the least level logged
    int summarySeconds = 60;         // a summary line this often; 0: none

    int maxPalUsers = 0;              // pal logins at once; 0: no limit
    std::optional<Pal::Move> palMove; // where the pal side sends users it cannot take
    int newIdsPerAddressPerHour = 20; // 0: no limit

    int loginSeconds = 60; // a connection without a login is closed after this
    int connectionsPerAddress = 256;
    int connectionsPerLoopback = 0; // 0: as many as in all (a local proxy, the benchmark)
    int connectionsTotal = 0;       // 0: what the descriptor limit allows
    int maxLineBytes = 4096;
    int failedLoginsPerAddressPerHour = 20; // 0: no limit
    int reachChecksPerAddressPerHour = 40;  // connections back on request; 0: no limit
    // A client whose machine is gone (no FIN) is dropped once it has been silent for the idle
    // time and then answered none of the probes: 100 s.
    int keepaliveIdleSeconds = 60;
    int keepaliveIntervalSeconds = 10;
    int keepaliveProbes = 4;
};
// Reads `path` over the defaults in `config`; false with a message when it cannot be read or a
// value is wrong.
bool loadConfig(const QString &path, ServerConfig *config, QString *error);
// The command line's values over the configuration file's.
void applyCommandLine(const CommandLine &line, ServerConfig *config);
