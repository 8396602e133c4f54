// Call control lines.
#include "callcontrol.h"

#include "fields.h"

using namespace Fields;

namespace CallControl
{

QString timeOfDay(const QTime &time)
{
    return QStringLiteral("%1:%2").arg(time.hour()).arg(time.minute(), 2, 10, QLatin1Char('0'));
}

namespace
{
QString peer(const QByteArray &line, int n)
{
    return peerText(getField(line, n), MaxPeerField);
}

const QByteArray EncryptsToken = "TLS13";
} // namespace

QByteArray build(const Request &r)
{
    return "RQC;" + fieldText(r.name) + ';' + fieldText(r.location) + ';' + fieldText(r.time) + ';';
}

QByteArray build(const Answer &a)
{
    if (!a.yes) return "RRS;NO;";
    return "RRS;YES;" + fieldText(a.name) + ';' + fieldText(a.location) + ';' + fieldText(a.time) +
           ';' + (a.encrypts ? EncryptsToken + ';' : QByteArray());
}

QByteArray build(const Busy &)
{
    return "BSY";
}

QByteArray build(const Capability &c)
{
    return "UIF;" + wire(c.version) + ';' + (c.realTime ? "True" : "False") + ';' +
           (c.encrypts ? EncryptsToken + ';' : QByteArray());
}

Message parse(const QByteArray &line)
{
    const QByteArray command = line.left(3);
    if (command == "RQC") {
        if (countFields(line) != 4) return {};
        return Request{peer(line, 2), peer(line, 3), peer(line, 4)};
    }
    if (command == "RRS") {
        if (countFields(line) <= 1) return {};
        if (getField(line, 2) != "YES") return Answer{};
        return Answer{true, peer(line, 3), peer(line, 4), peer(line, 5),
                      getField(line, 6) == EncryptsToken};
    }
    if (command == "BSY") return Busy{};
    if (command == "UIF")
        return Capability{fromWire(getField(line, 2)), getField(line, 3) == "True",
                          getField(line, 4) == EncryptsToken};
    return {};
}

} // namespace CallControl
