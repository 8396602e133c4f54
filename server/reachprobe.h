// Connections back to a client's own address, for a client that asks whether it can be reached
// from where the server stands: a TCP connection that is taken (its handshake completes) means
// yes; refused, unreachable or unanswered within the time, no. Nothing is sent, and the
// connection closes at once.
#pragma once

#include <QObject>

#include <functional>
#include <set>

class ReachProbes
{
public:
    using Done = std::function<void(bool reached)>;
    ReachProbes(int timeoutMs, int most);
    ~ReachProbes(); // probes under way end without an answer
    ReachProbes(const ReachProbes &) = delete;
    ReachProbes &operator=(const ReachProbes &) = delete;

    // Connects to the IPv4 address (host order) and port; `done` runs later, on this thread.
    // False, and `done` never runs, when `most` probes are under way already.
    bool probe(quint32 address, quint16 port, Done done);
    int underWay() const { return int(m_probes.size()); }

private:
    class Probe;
    void finished(Probe *probe, bool reached);

    int m_timeoutMs, m_most;
    std::set<Probe *> m_probes;
};
