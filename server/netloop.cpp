// Connections through epoll.
#include "netloop.h"

#include "log.h"
#include "protocol/directory.h"

#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

// What one connection may have read and queued per round, and queued in all before we stop
// reading from it (an "LS1" answer is about 40 KiB; queued answers share their bytes).
constexpr int ReadChunk = 4096;
constexpr qsizetype MaxQueued = 512 * 1024;
// Each round serves every logged-in user with a request waiting, then at most this much of the
// rest: new connections, logins, closes. Under a storm of logins and logouts a user's request
// waits one short round, not behind everyone who is coming or going.
constexpr int EventsPerRound = 8192;
constexpr int OtherWorkPerRound = 64;
// How long a farewell may take to be read before the connection is closed anyway.
constexpr qint64 FarewellMs = 5000;
// Listener tags in epoll's data; connections are tagged with their address.
constexpr quint64 ListenerTag[NetLoop::ChannelCount] = {1, 2};

qint64 nowMs()
{
    return QDeadlineTimer::current().deadline();
}

int defaultTotal()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 1000000;
    // Room for the listeners, the database, the notifier pipes and the spare descriptor.
    return std::max<int>(16, int(limit.rlim_cur) - 64);
}

} // namespace

QString NetLoop::addressText(quint32 address)
{
    in_addr a{htonl(address)};
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return QString::fromLatin1(text);
}

NetLoop::NetLoop(Handler &handler, const Limits &limits)
    : m_handler(handler), m_limits(limits),
      m_totalLimit(limits.total > 0 ? limits.total : defaultTotal())
{
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    m_notifier = std::make_unique<QSocketNotifier>(m_epoll, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { onEvents(); });
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { onDeadlines(); });
}

NetLoop::~NetLoop()
{
    m_notifier.reset();
    for (Connection *c : m_byFd) {
        if (!c) continue;
        ::close(c->fd);
        delete c;
    }
    for (Connection *c : m_dead)
        delete c;
    for (int fd : m_listeners)
        if (fd >= 0) ::close(fd);
    if (m_spare >= 0) ::close(m_spare);
    if (m_epoll >= 0) ::close(m_epoll);
}

bool NetLoop::listen(Channel channel, const QString &address, quint16 port, QString *error)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &a.sin_addr) != 1) {
        *error = QStringLiteral("%1 is not an IPv4 address").arg(address);
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(address)
                     .arg(port)
                     .arg(QString::fromLocal8Bit(::strerror(errno)));
        if (fd >= 0) ::close(fd);
        return false;
    }
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length);
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.u64 = ListenerTag[channel];
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &e);
    if (m_listeners[channel] >= 0) ::close(m_listeners[channel]);
    m_listeners[channel] = fd;
    m_ports[channel] = ntohs(a.sin_port);
    return true;
}

void NetLoop::onEvents()
{
    m_events.resize(EventsPerRound);
    const int n = ::epoll_wait(m_epoll, m_events.data(), EventsPerRound, 0);
    auto isListener = [](const epoll_event &e) {
        return e.data.u64 == ListenerTag[DirectoryChannel] || e.data.u64 == ListenerTag[PalChannel];
    };
    auto serve = [this](Connection &c, quint32 events) {
        if (c.dead) return;
        if (events & EPOLLOUT) flush(c);
        if (c.dead) return;
        if (c.held && !c.closing) {
            if (events & (EPOLLHUP | EPOLLERR)) drop(c); // reset while it waited
            return;
        }
        if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) readFrom(c);
    };
    // Logged-in users' requests first, all of them.
    for (int i = 0; i < n; ++i) {
        epoll_event &e = m_events[size_t(i)];
        if (isListener(e)) continue;
        Connection &c = *static_cast<Connection *>(e.data.ptr);
        if (!c.loggedIn || (e.events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR))) continue;
        serve(c, e.events);
        e.events = 0;
    }
    // Then a share of the rest; what is left is reported again next round.
    int budget = OtherWorkPerRound;
    for (int i = 0; i < n && budget > 0; ++i) {
        const epoll_event &e = m_events[size_t(i)];
        if (e.events == 0) continue;
        if (isListener(e)) {
            budget -= acceptOn(e.data.u64 == ListenerTag[DirectoryChannel] ? DirectoryChannel
                                                                           : PalChannel,
                               budget);
            continue;
        }
        serve(*static_cast<Connection *>(e.data.ptr), e.events);
        --budget;
    }
    freeDead();
}

int NetLoop::acceptOn(Channel channel, int most)
{
    int accepted = 0;
    for (; accepted < most; ++accepted) {
        sockaddr_in a{};
        socklen_t length = sizeof a;
        const int fd = ::accept4(m_listeners[channel], reinterpret_cast<sockaddr *>(&a), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
            if ((errno == EMFILE || errno == ENFILE) && m_spare >= 0) {
                // Out of descriptors: take the client with the spare one and let it go, or it
                // would stay in the queue and wake us for ever.
                ::close(m_spare);
                const int taken = ::accept4(m_listeners[channel], nullptr, nullptr, SOCK_CLOEXEC);
                if (taken >= 0) {
                    Log::warning(QStringLiteral("connection refused: out of descriptors"));
                    refuse(taken, channel);
                }
                m_spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
                continue;
            }
            break; // EAGAIN, or nothing we can help
        }
        const quint32 peer = ntohl(a.sin_addr.s_addr);
        const bool loopback = (peer >> 24) == 127;
        const int perAddress = loopback && m_limits.perLoopback == 0
                                   ? m_totalLimit
                                   : (loopback ? m_limits.perLoopback : m_limits.perAddress);
        auto it = m_perAddress.find(peer);
        const int fromThere = it == m_perAddress.end() ? 0 : it.value();
        if (m_connections >= m_totalLimit || fromThere >= perAddress) {
            const bool full = m_connections >= m_totalLimit;
            ++m_refused;
            if (m_refusalLines.allows(peer, nowMs()))
                Log::warning(
                    QStringLiteral("connection from %1 refused: %2 connections %3")
                        .arg(addressText(peer))
                        .arg(full ? m_connections : fromThere)
                        .arg(full ? QStringLiteral("in all") : QStringLiteral("from there")));
            refuse(fd, channel);
            continue;
        }
        if (it == m_perAddress.end())
            m_perAddress.insert(peer, 1);
        else
            ++it.value();
        ++m_connections;

        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        const int idle = m_limits.keepaliveIdleSeconds,
                  interval = m_limits.keepaliveIntervalSeconds, probes = m_limits.keepaliveProbes;
        const unsigned userTimeoutMs = unsigned(idle + interval * probes) * 1000u;
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
        ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs);
        auto *c = new Connection(m_limits.maxLineBytes);
        c->fd = fd;
        c->channel = channel;
        c->peer = peer;
        c->serial = ++m_serial;
        c->splitter.setTerminator(Directory::Terminator);
        if (size_t(fd) >= m_byFd.size()) m_byFd.resize(size_t(fd) + 1024, nullptr);
        m_byFd[size_t(fd)] = c;
        watch(*c);
        addDeadline(m_loginDeadlines, *c, m_limits.loginMs);
    }
    return std::max(1, accepted);
}

std::pair<int, int> NetLoop::takeRefusals()
{
    return {std::exchange(m_refused, 0), m_refusalLines.takeLeftOut()};
}

void NetLoop::refuse(int fd, Channel channel)
{
    const QByteArray bytes = m_handler.refusal(channel);
    if (!bytes.isEmpty())
        ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
    ::close(fd);
}

void NetLoop::readFrom(Connection &c)
{
    char buffer[ReadChunk];
    const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        drop(c);
        return;
    }
    if (n < 0 || c.closing) return; // a farewell is under way: what comes now is not read
    std::vector<LinePiece> pieces = c.splitter.feed(QByteArray::fromRawData(buffer, n));
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (c.held) {
            for (; i < pieces.size(); ++i) // their own copy: the text may point into `buffer`
                c.kept.push_back({QByteArray(pieces[i].text.constData(), pieces[i].text.size()),
                                  pieces[i].endOfLine});
            break;
        }
        if (!deliver(c, pieces[i])) break;
    }
    if (c.dead) return;
    if (c.splitter.buffered() == 0) c.splitter.clear(); // an idle connection keeps no buffer
    flush(c);
}

bool NetLoop::deliver(Connection &c, const LinePiece &piece)
{
    if (!piece.endOfLine) { // longer than any line of ours
        Log::debug(QStringLiteral("closed %1: a line longer than %2 bytes")
                       .arg(c.peerText())
                       .arg(m_limits.maxLineBytes));
        drop(c);
        return false;
    }
    m_handler.lineReceived(c, piece.text);
    return !c.dead && !c.closing;
}

void NetLoop::hold(Connection &c)
{
    if (c.dead || c.closing) return;
    c.held = true;
    watch(c);
}

void NetLoop::resume(Connection &c)
{
    if (c.dead || !c.held) return;
    c.held = false;
    size_t handed = 0;
    while (handed < c.kept.size() && !c.held && !c.closing) {
        if (!deliver(c, c.kept[handed++])) break;
    }
    if (c.dead) return;
    c.kept.erase(c.kept.begin(), c.kept.begin() + qsizetype(handed));
    if (c.closing) c.kept = {};
    flush(c); // watches it again
}

NetLoop::Connection *NetLoop::find(int fd, quint64 serial) const
{
    Connection *c = fd >= 0 && size_t(fd) < m_byFd.size() ? m_byFd[size_t(fd)] : nullptr;
    return c && c->serial == serial && !c->dead ? c : nullptr;
}

void NetLoop::freeDead()
{
    for (Connection *c : m_dead)
        delete c;
    m_dead.clear();
}

void NetLoop::send(Connection &c, const QByteArray &bytes)
{
    if (c.dead || c.closing || bytes.isEmpty()) return;
    c.out.append(bytes);
    c.outBytes += bytes.size();
}

void NetLoop::sendNow(Connection &c, const QByteArray &bytes)
{
    send(c, bytes);
    if (!c.dead) flush(c);
}

void NetLoop::closeAfterSending(Connection &c)
{
    if (c.dead || c.closing) return;
    c.closing = true;
    addDeadline(m_closeDeadlines, c, FarewellMs);
    flush(c);
}

void NetLoop::setLoggedIn(Connection &c)
{
    c.loggedIn = true;
}

void NetLoop::flush(Connection &c)
{
    while (!c.out.isEmpty()) {
        constexpr int MaxPieces = 64;
        iovec pieces[MaxPieces];
        int count = 0;
        for (const QByteArray &b : c.out) {
            if (count == MaxPieces) break;
            const qsizetype skip = count == 0 ? c.outOffset : 0;
            pieces[count].iov_base = const_cast<char *>(b.constData() + skip);
            pieces[count].iov_len = size_t(b.size() - skip);
            ++count;
        }
        msghdr message{};
        message.msg_iov = pieces;
        message.msg_iovlen = size_t(count);
        ssize_t sent = ::sendmsg(c.fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) break;
            drop(c);
            return;
        }
        c.outBytes -= sent;
        while (sent > 0) {
            const qsizetype left = c.out.constFirst().size() - c.outOffset;
            if (sent < left) {
                c.outOffset += sent;
                break;
            }
            sent -= left;
            c.out.removeFirst();
            c.outOffset = 0;
        }
    }
    if (c.out.isEmpty()) {
        c.out = QList<QByteArray>(); // an idle connection keeps no list
        if (c.closing && !c.halfClosed) {
            // Our FIN after the farewell; the client's own close ends the connection.
            ::shutdown(c.fd, SHUT_WR);
            c.halfClosed = true;
        }
    }
    watch(c);
}

void NetLoop::watch(Connection &c)
{
    // Reading stops while a client leaves too much of what it asked for unread or waits for
    // the server, and after a farewell only the client's close is waited for.
    quint32 events = 0;
    if (c.closing || (c.outBytes < MaxQueued && !c.held)) events |= EPOLLIN | EPOLLRDHUP;
    if (!c.out.isEmpty()) events |= EPOLLOUT;
    if (events == c.events && c.watched) return;
    epoll_event e{};
    e.events = events;
    e.data.ptr = &c;
    ::epoll_ctl(m_epoll, c.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, c.fd, &e);
    c.events = events;
    c.watched = true;
}

void NetLoop::drop(Connection &c)
{
    if (c.dead) return;
    m_handler.connectionClosed(c);
    c.dead = true;
    ::close(c.fd); // leaves the epoll set too
    m_byFd[size_t(c.fd)] = nullptr;
    auto it = m_perAddress.find(c.peer);
    if (it != m_perAddress.end() && --it.value() <= 0) m_perAddress.erase(it);
    --m_connections;
    c.state.reset();
    c.out = QList<QByteArray>();
    m_dead.push_back(&c);
}

void NetLoop::addDeadline(std::deque<Deadline> &queue, Connection &c, qint64 ms)
{
    queue.push_back({nowMs() + ms, c.fd, c.serial});
    if (!m_timer.isActive() || m_timer.remainingTime() > ms)
        m_timer.start(std::chrono::milliseconds(ms));
}

void NetLoop::onDeadlines()
{
    const qint64 now = nowMs();
    qint64 next = -1;
    for (std::deque<Deadline> *queue : {&m_loginDeadlines, &m_closeDeadlines}) {
        while (!queue->empty() && queue->front().at <= now) {
            const Deadline d = queue->front();
            queue->pop_front();
            Connection *c = size_t(d.fd) < m_byFd.size() ? m_byFd[size_t(d.fd)] : nullptr;
            if (!c || c->serial != d.serial) continue;
            if (queue == &m_loginDeadlines && !c->loggedIn)
                Log::debug(QStringLiteral("closed %1: no login within %2 s")
                               .arg(c->peerText())
                               .arg(m_limits.loginMs / 1000));
            if (queue == &m_closeDeadlines || !c->loggedIn) drop(*c);
        }
        if (!queue->empty() && (next < 0 || queue->front().at < next)) next = queue->front().at;
    }
    freeDead();
    if (next >= 0) m_timer.start(std::chrono::milliseconds(std::max<qint64>(1, next - now)));
}
