// Reading the command line.
#include "commandline.h"

#include <QCommandLineParser>

namespace
{
bool readPort(const QString &text, quint16 *port)
{
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok);
    if (!ok || value < 1 || value > uint(CommandLine::HighestBasePort)) return false;
    *port = quint16(value);
    return true;
}

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Video calls between two people, peer to peer over TCP."));
    parser.addPositionalArgument(
        QStringLiteral("address"),
        QStringLiteral("Call this address at start-up (host or host:port; the port defaults to "
                       "2000) and accept the next incoming call without asking."),
        QStringLiteral("[address]"));
    parser.addOption({QStringLiteral("base-port"),
                      QStringLiteral("Listen on ports N to N+3 instead of 2000 to 2003 (also "
                                     "OVELA_BASE_PORT)."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("doctor"),
                      QStringLiteral("Check what calls need (network, servers, call ports, "
                                     "router, reachability, sound, camera), print each verdict "
                                     "and end: status 0 when nothing stands in the way of "
                                     "calls.")});
    parser.addOption(
        {QStringLiteral("answer-unattended"),
         QStringLiteral("Run without windows and answer calls by itself: --answer-unattended or "
                        "=pals answers pals the pal server reports online at the caller's "
                        "address under the caller's name, =everyone everyone, =list the callers "
                        "in unattended.txt. Others are declined; every call is logged, also on "
                        "standard error.")});
    parser.addHelpOption();
    parser.addVersionOption();
}
} // namespace

CommandLine CommandLine::parse(const QStringList &arguments, const QString &basePortVariable)
{
    CommandLine line;
    // Qt's parser knows no option with an optional value: "--answer-unattended=WHO" is read here.
    static const QString unattended = QStringLiteral("--answer-unattended");
    QStringList rest{QStringLiteral("ovela")};
    for (const QString &argument : arguments) {
        if (!argument.startsWith(unattended + QLatin1Char('='))) {
            rest << argument;
            continue;
        }
        const QString who = argument.mid(unattended.size() + 1);
        line.unattended = AnsweringPolicy::modeNamed(who);
        if (!line.unattended) {
            line.error = QStringLiteral("--answer-unattended takes pals, everyone or list, not "
                                        "\"%1\".")
                             .arg(who);
            return line;
        }
    }
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(rest)) {
        line.error = parser.errorText();
        return line;
    }
    line.help = parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"));
    line.version = parser.isSet(QStringLiteral("version"));
    line.doctor = parser.isSet(QStringLiteral("doctor"));
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        line.error = QStringLiteral("Only one address can be called at start-up.");
        return line;
    }
    line.address = positional.value(0);
    if (parser.isSet(QStringLiteral("answer-unattended")) && !line.unattended)
        line.unattended = AnsweringPolicy::Mode::Pals;
    if (line.unattended && !line.address.isEmpty()) {
        line.error = QStringLiteral("A program that answers by itself calls nobody at start-up.");
        return line;
    }
    const bool option = parser.isSet(QStringLiteral("base-port"));
    const QString port = option ? parser.value(QStringLiteral("base-port")) : basePortVariable;
    if ((option || !port.isEmpty()) && !readPort(port, &line.basePort))
        line.error =
            QStringLiteral("%1 must be a port number from 1 to %2, not \"%3\".")
                .arg(option ? QStringLiteral("--base-port") : QStringLiteral("OVELA_BASE_PORT"))
                .arg(HighestBasePort)
                .arg(port);
    return line;
}

QString CommandLine::usage()
{
    QCommandLineParser parser;
    describe(parser);
    // Read before the application object exists, the program's name is not known to Qt yet.
    return parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("ovela"));
}
