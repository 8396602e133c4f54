// What waits in a TCP socket.
#include "socketqueue.h"

#include <QSslSocket>

#include <linux/sockios.h>
#include <linux/tcp.h> // the kernel's tcp_info, with the fields newer than the C library's
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstddef>

namespace SocketQueue
{

qint64 encryptedBytes(const QTcpSocket *socket)
{
    const auto *tls = qobject_cast<const QSslSocket *>(socket);
    return tls ? tls->encryptedBytesToWrite() : 0;
}

qint64 unsentBytes(const QTcpSocket *socket)
{
    return socket->bytesToWrite() + encryptedBytes(socket);
}

qint64 queuedBytes(qintptr descriptor)
{
    if (descriptor < 0) return 0;
    const int fd = int(descriptor);
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
        length >= offsetof(tcp_info, tcpi_delivery_rate) + sizeof info.tcpi_delivery_rate) {
        // In flight beyond one rate-times-shortest-round-trip is queued on the way.
        const qint64 inFlight = qint64(info.tcpi_unacked) * info.tcpi_snd_mss;
        const auto pipe = qint64(double(info.tcpi_delivery_rate) * info.tcpi_min_rtt / 1e6);
        return qint64(info.tcpi_notsent_bytes) + std::max<qint64>(0, inFlight - pipe);
    }
    int bytes = 0; // an older kernel: all that is unacknowledged
    return ::ioctl(fd, SIOCOUTQ, &bytes) == 0 ? bytes : 0;
}

void limitUnsent(qintptr descriptor)
{
    if (descriptor < 0) return;
    const int limit = KernelUnsentLimit;
    ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_NOTSENT_LOWAT, &limit, sizeof limit);
}

void noticeLoss(qintptr descriptor)
{
    if (descriptor < 0) return;
    const int fd = int(descriptor);
    const int on = 1, idle = 10, interval = 5, probes = 2;
    const unsigned int unacknowledgedMs = LostAfterSeconds * 1000;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledgedMs, sizeof unacknowledgedMs);
}

} // namespace SocketQueue
