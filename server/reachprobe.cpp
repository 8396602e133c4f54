// Connections back to a client.
#include "reachprobe.h"

#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class ReachProbes::Probe : public QObject
{
public:
    Probe(ReachProbes &owner, int fd, Done done)
        : m_owner(owner), m_fd(fd), m_done(std::move(done)),
          m_notifier(fd, QSocketNotifier::Write, this)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] {
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length);
            end(error == 0);
        });
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] { end(false); });
        m_timer.start(owner.m_timeoutMs);
    }
    ~Probe() override { ::close(m_fd); }

    // Ends it with this answer after the present event (a connection taken at once).
    void endSoon(bool reached)
    {
        m_notifier.setEnabled(false);
        QTimer::singleShot(0, this, [this, reached] { end(reached); });
    }

private:
    void end(bool reached)
    {
        if (m_ended) return;
        m_ended = true;
        m_notifier.setEnabled(false);
        m_timer.stop();
        const Done done = std::move(m_done);
        m_owner.finished(this, reached);
        done(reached);
    }

    ReachProbes &m_owner;
    int m_fd;
    Done m_done;
    QSocketNotifier m_notifier;
    QTimer m_timer;
    bool m_ended = false;
};

ReachProbes::ReachProbes(int timeoutMs, int most) : m_timeoutMs(timeoutMs), m_most(most) {}

ReachProbes::~ReachProbes()
{
    for (Probe *p : m_probes)
        delete p;
}

bool ReachProbes::probe(quint32 address, quint16 port, Done done)
{
    if (int(m_probes.size()) >= m_most) return false;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(address);
    const bool taken = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    const bool underWay = !taken && errno == EINPROGRESS;
    auto *p = new Probe(*this, fd, std::move(done));
    m_probes.insert(p);
    if (!underWay) p->endSoon(taken);
    return true;
}

void ReachProbes::finished(Probe *probe, bool)
{
    m_probes.erase(probe);
    probe->deleteLater();
}
