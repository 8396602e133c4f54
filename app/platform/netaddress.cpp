// Address formatting, resolution and the local machine's address.
#include "netaddress.h"

#include <QHostInfo>
#include <QNetworkInterface>

namespace NetAddress
{

QString text(const QHostAddress &address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    if (ok) return QHostAddress(v4).toString();
    return address.toString();
}

QString localMachineAddress()
{
    bool loopbackUp = false;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &nic : interfaces) {
        const auto flags = nic.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning)) continue;
        if (flags & QNetworkInterface::IsLoopBack) {
            loopbackUp = true;
            continue;
        }
        for (const QNetworkAddressEntry &entry : nic.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                return entry.ip().toString();
        }
    }
    return loopbackUp ? QStringLiteral("127.0.0.1") : QString();
}

EndpointError resolve(const QString &host, QHostAddress *out)
{
    const QString name = host.trimmed();
    if (name.isEmpty()) return {EndpointErrors::NoNetwork, QStringLiteral("No host address given")};
    QHostAddress literal;
    if (literal.setAddress(name)) {
        bool ok = false;
        const quint32 v4 = literal.toIPv4Address(&ok);
        if (!ok)
            return {EndpointErrors::HostNotFound,
                    QStringLiteral("Only IPv4 addresses are supported")};
        *out = QHostAddress(v4);
        return {};
    }
    // Host names are looked up as the address is set, as a caller expects of the property.
    const QHostInfo info = QHostInfo::fromName(name);
    for (const QHostAddress &candidate : info.addresses()) {
        if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
            *out = candidate;
            return {};
        }
    }
    return {EndpointErrors::HostNotFound, QStringLiteral("Host not found: ") + name};
}

} // namespace NetAddress
