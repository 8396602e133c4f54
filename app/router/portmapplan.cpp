// Choosing the outside ports, renewing, and judging the router's outside address.
#include "portmapplan.h"

#include <QHostAddress>

#include <algorithm>

namespace PortMapPlan
{

quint16 candidate(quint16 insideBase, int attempt)
{
    const int base = insideBase + PortCount * attempt;
    return attempt >= 0 && base + PortCount - 1 <= 65535 ? quint16(base) : 0;
}

Block mapBlock(quint16 insideBase, const Router &router)
{
    Block result;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        quint16 base = candidate(insideBase, attempt);
        if (base == 0) break;
        int done = 0;
        Answer answer = Answer::Mapped;
        for (; done < PortCount; ++done) {
            const quint16 want = quint16(base + done);
            quint16 granted = want;
            answer = router.map(want, quint16(insideBase + done), &granted);
            if (answer != Answer::Mapped) break;
            // A router that chooses its own outside port (NAT-PMP) may move the whole block; the
            // rest must follow the first, or the block is no good.
            if (granted == want) continue;
            if (done == 0 && granted != 0 && int(granted) + PortCount - 1 <= 65535) {
                base = granted;
                continue;
            }
            router.remove(granted, quint16(insideBase + done));
            answer = Answer::Conflict;
            break;
        }
        if (done == PortCount) return {base, {}};
        for (int i = 0; i < done; ++i)
            router.remove(quint16(base + i), quint16(insideBase + i));
        if (answer == Answer::Failed) {
            result.error =
                QStringLiteral("the router refused to forward port %1").arg(int(base) + done);
            return result;
        }
        result.error =
            QStringLiteral("the router forwards the ports from %1 to another machine").arg(base);
    }
    return result;
}

int renewSeconds(qint64 granted)
{
    if (granted <= 0) return PermanentRenewSeconds;
    return int(std::clamp<qint64>(granted / 2, ShortestRenewSeconds, PermanentRenewSeconds));
}

QString externalAddressProblem(const QString &address)
{
    QHostAddress a;
    const auto in = [&a](const char *net, int bits) {
        return a.isInSubnet(QHostAddress(QLatin1String(net)), bits);
    };
    if (address.size() > 45 || !a.setAddress(address) ||
        a.protocol() != QAbstractSocket::IPv4Protocol || in("0.0.0.0", 8) || a.isMulticast() ||
        in("240.0.0.0", 4))
        return QStringLiteral("the router reported no usable outside address");
    // 100.64.0.0/10 is the providers' shared space (carrier-grade NAT).
    if (a.isLoopback() || a.isLinkLocal() || in("10.0.0.0", 8) || in("172.16.0.0", 12) ||
        in("192.168.0.0", 16) || in("100.64.0.0", 10))
        return QStringLiteral("the router's outside address %1 is private: another router or "
                              "the provider's NAT lies beyond it, and calls from the Internet "
                              "cannot come through")
            .arg(a.toString());
    return {};
}

} // namespace PortMapPlan
