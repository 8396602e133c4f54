// Address formatting, resolution (host names away from the caller's thread) and the local
// machine's address.
#include "netaddress.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <QPointer>
#include <QThreadPool>

#include <mutex>

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

bool hasNetwork()
{
    // Up is enough: a link whose carrier is still coming (a second after it was brought up) is a
    // network all the same.
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &nic : interfaces) {
        const auto flags = nic.flags();
        if (!(flags & QNetworkInterface::IsUp) || (flags & QNetworkInterface::IsLoopBack)) continue;
        for (const QNetworkAddressEntry &entry : nic.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) return true;
    }
    return false;
}

EndpointError literal(const QString &host, QHostAddress *out, bool *isName)
{
    *isName = false;
    const QString name = host.trimmed();
    if (name.isEmpty()) return {EndpointErrors::NoNetwork, QStringLiteral("No host address given")};
    QHostAddress address;
    if (!address.setAddress(name)) {
        *isName = true;
        return {};
    }
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    if (!ok)
        return {EndpointErrors::HostNotFound, QStringLiteral("Only IPv4 addresses are supported")};
    *out = QHostAddress(v4);
    return {};
}

namespace
{

std::mutex resolverLock;
Resolver currentResolver;

QList<QHostAddress> systemResolver(const QString &name)
{
    return QHostInfo::fromName(name).addresses();
}

// Lookups wait on name servers, not on processors: a pool of their own, so that a few slow ones
// never hold up others, or anything else. Never deleted: a lookup still waiting when the program
// ends must not hold up its exit.
QThreadPool &lookupThreads()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(8);
        return p;
    }();
    return *pool;
}

// Lives on the receiver's thread until the answer is handed over (or the receiver is found gone).
class Delivery : public QObject
{
public:
    Delivery(QObject *receiver, LookupDone done) : m_receiver(receiver), m_done(std::move(done))
    {
        moveToThread(receiver->thread());
    }
    void hand(const EndpointError &error, const QHostAddress &address)
    {
        if (m_receiver) m_done(error, address);
        deleteLater();
    }

private:
    QPointer<QObject> m_receiver;
    LookupDone m_done;
};

} // namespace

void setResolver(Resolver resolver)
{
    const std::lock_guard hold(resolverLock);
    currentResolver = std::move(resolver);
}

void lookUp(const QString &name, QObject *receiver, LookupDone done)
{
    Resolver resolver;
    {
        const std::lock_guard hold(resolverLock);
        resolver = currentResolver ? currentResolver : Resolver(systemResolver);
    }
    auto *delivery = new Delivery(receiver, std::move(done));
    lookupThreads().start([name, resolver, delivery] {
        EndpointError error{EndpointErrors::HostNotFound,
                            QStringLiteral("Host not found: ") + name};
        QHostAddress found;
        for (const QHostAddress &candidate : resolver(name)) {
            bool ok = false;
            const quint32 v4 = candidate.toIPv4Address(&ok);
            if (ok) {
                found = QHostAddress(v4);
                error = {};
                break;
            }
        }
        QMetaObject::invokeMethod(
            delivery, [delivery, error, found] { delivery->hand(error, found); },
            Qt::QueuedConnection);
    });
}

void splitTarget(const QString &target, QString *host, quint16 *port)
{
    const QString text = target.trimmed();
    *host = text;
    *port = DefaultBasePort;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0 || text.contains(QLatin1Char('@'))) return;
    bool ok = false;
    const uint value = text.mid(colon + 1).toUInt(&ok);
    if (!ok || value < 1 || value > 65535) return;
    *host = text.left(colon);
    *port = quint16(value);
}

} // namespace NetAddress
