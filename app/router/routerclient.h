// The conversation with the home router, on a thread of its own since every step of it waits on
// the network (discovery alone takes two seconds when nothing answers): finds a UPnP Internet
// gateway device through libminiupnpc, else a NAT-PMP router through libnatpmp, asks it to
// forward the program's four listening ports to this machine, renews and removes that. Each
// request reports the state it leaves behind and what happened, for the log.
#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

// What the router did for the program: the state that Options, the About box and a connection
// check read.
struct PortMapState {
    enum class Method { None, Upnp, NatPmp };
    bool searched = false; // a search has finished (false also while turned off)
    Method method = Method::None;
    QString router;          // the router's address
    QString localAddress;    // this machine, as the router forwards to it
    QString externalAddress; // the router's outside address; empty when it gave none
    quint16 insideBase = 0;
    quint16 outsideBase = 0; // the first of the four ports forwarded; 0: none
    int renewSeconds = 0;    // until the lease is renewed
    QString problem;         // why the ports are not open (or may not be), for a person

    bool routerFound() const { return method != Method::None; }
    bool portsMapped() const { return outsideBase != 0; }
    // Forwarded, and the router's outside address is one the Internet reaches.
    bool portsOpen() const { return portsMapped() && problem.isEmpty(); }
    QString methodName() const;
};
Q_DECLARE_METATYPE(PortMapState)

class RouterClient : public QObject
{
    Q_OBJECT
public:
    // How long discovery waits for routers to answer each of the two searches (UPnP IGD
    // version 1 and 2).
    static constexpr int DiscoveryMs = 1000;

    RouterClient();
    ~RouterClient() override;

    // Finds the router (once) and forwards insideBase to insideBase + 3.
    void map(quint16 insideBase);
    // Asks for the same ports again before the lease ends; maps afresh when that fails.
    void renew();
    // Removes the forwarding.
    void unmap();
    // From any thread: the program is ending, so a search or mapping under way stops at its next
    // step (a removal still runs).
    void cancel() { m_cancelled = true; }

signals:
    void done(const PortMapState &state, const QStringList &log);

private:
    struct Upnp;
    struct NatPmp;
    bool findRouter(QStringList *log);
    void mapBlock(QStringList *log);
    void removeOwnStale();

    std::unique_ptr<Upnp> m_upnp;
    std::unique_ptr<NatPmp> m_natpmp;
    PortMapState m_state;
    int m_lease = 0;
    std::atomic_bool m_cancelled = false;
};
