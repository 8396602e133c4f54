// The program's command line: one optional address to call at start-up ("host", "host:port" or
// an e-mail address), --base-port N (or OVELA_BASE_PORT) to listen from port N instead of
// 2000, as when a second program runs on the same machine, and --doctor to check the connection
// instead of starting, and --answer-unattended[=pals|everyone|list] to run without windows and
// answer calls by itself.
#pragma once

#include "calls/answeringpolicy.h"
#include "platform/netaddress.h"

#include <QString>
#include <QStringList>

#include <optional>

struct CommandLine {
    // Ports N to N + 3 are used, N may move up by 12 when taken, and the directory carries a
    // user's base port in a 16-bit signed field: N + 12 stays below 32768.
    static constexpr int HighestBasePort = 32755;

    QString address;
    quint16 basePort = DefaultBasePort;
    bool help = false;
    bool version = false;
    bool doctor = false; // run the connection doctor on the terminal and end
    // Without windows, answering calls by itself: who is answered.
    std::optional<AnsweringPolicy::Mode> unattended;
    QString error; // set when the command line cannot be used

    // `arguments` without the program's name; `basePortVariable` is OVELA_BASE_PORT's value.
    static CommandLine parse(const QStringList &arguments, const QString &basePortVariable = {});
    static QString usage();
};
