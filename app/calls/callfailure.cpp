// The texts of failed calls.
#include "callfailure.h"

#include "platform/endpointerror.h"

CallFailure CallFailure::fromConnect(int status, const QString &description, const QString &host,
                                     quint16 port, int waitedSeconds)
{
    Kind kind = Kind::Other;
    switch (status) {
    case EndpointErrors::HostNotFound:
        kind = Kind::NameNotFound;
        break;
    case EndpointErrors::ConnectionRefused:
        kind = Kind::Refused;
        break;
    case EndpointErrors::TimedOut:
        kind = Kind::NoAnswer;
        break;
    case EndpointErrors::NetworkUnreachable:
    case EndpointErrors::NoNetwork:
        kind = Kind::Unreachable;
        break;
    default:
        break;
    }
    return {kind, host, port, description, waitedSeconds};
}

QString CallFailure::text() const
{
    const QString where = host + QLatin1Char(':') + QString::number(port);
    const QString doctor = QStringLiteral("Help > Connection Doctor (ovela --doctor)");
    switch (kind) {
    case Kind::None:
        return {};
    case Kind::NameNotFound:
        return QStringLiteral("The name %1 could not be found: check its spelling, or call the "
                              "IP address instead.")
            .arg(host);
    case Kind::Refused:
        return QStringLiteral("%1 refused the connection: OVELA is not running there, or a "
                              "firewall turns calls away.")
            .arg(where);
    case Kind::NoAnswer:
        return QStringLiteral("No answer from %1 within %2 seconds: a router or firewall on the "
                              "way probably drops the call. %3 checks this side.")
            .arg(where)
            .arg(waitedSeconds)
            .arg(doctor);
    case Kind::Unreachable:
        return QStringLiteral("%1 cannot be reached from this network (%2). %3 checks this "
                              "machine's connection.")
            .arg(host, detail, doctor);
    case Kind::Busy:
        return QStringLiteral("The person at %1 is in another call: try again later.").arg(host);
    case Kind::Declined:
        return QStringLiteral("The person at %1 declined the call.").arg(host);
    case Kind::DroppedBeforeAnswer:
        return QStringLiteral("The connection to %1 closed before an answer came: they are not "
                              "taking calls (Do Not Disturb), or their program quit or lost the "
                              "network.")
            .arg(host);
    case Kind::MediaFailed:
        return QStringLiteral("The call was accepted, but the connection for pictures and sound "
                              "to %1 failed (%2): a firewall there may let only port %3 through.")
            .arg(where, detail)
            .arg(port - 1);
    case Kind::DroppedInCall:
        return QStringLiteral("The connection to %1 dropped during the call (%2).")
            .arg(host, detail);
    case Kind::PlainRefused:
        return QStringLiteral("The program at %1 cannot encrypt calls (an older version, or "
                              "encryption switched off there), and this program is set to refuse "
                              "plain calls (Options > General).")
            .arg(host);
    case Kind::NotPrivate:
        return QStringLiteral("The encrypted connection to %1 could not be set up (%2); the call "
                              "was ended rather than carried in the clear.")
            .arg(host, detail);
    case Kind::Other:
        break;
    }
    return QStringLiteral("The connection to %1 failed (%2).").arg(where, detail);
}

QString CallFailure::logLine() const
{
    return (kind == Kind::DroppedInCall ? QStringLiteral("Call dropped: ")
                                        : QStringLiteral("Call failed: ")) +
           text();
}
