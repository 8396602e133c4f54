// A home network behind a router, on this machine: three network namespaces joined by veth
// pairs. "home" (192.168.77.2) has its default route through "router" (192.168.77.1 inside,
// 198.20.77.1 outside), which forwards and masquerades towards "outside" (198.20.77.2) and runs
// miniupnpd, answering UPnP IGD and NAT-PMP on the home side. miniupnpd refuses every private and
// reserved range as its outside address (TEST-NET-3 included), so the outside link uses a
// public-looking one that exists only inside these namespaces: nothing outside them routes to
// it. Needs root (ip netns, nft); the namespaces and the daemon go when the object does.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class RouterBed
{
public:
    enum Side { Home = 0, Router = 1, Outside = 2 };
    static constexpr const char *HomeAddress = "192.168.77.2";
    static constexpr const char *RouterOutside = "198.20.77.1";

    // `upnp` false: the router answers NAT-PMP only.
    explicit RouterBed(bool upnp = true);
    ~RouterBed();
    RouterBed(const RouterBed &) = delete;
    RouterBed &operator=(const RouterBed &) = delete;

    // Why the bed cannot be used (not root, a tool missing, a command that failed); empty when
    // it is up. skipReason() is set instead when the machine lacks what the bed needs.
    QString error() const { return m_error; }
    QString skipReason() const { return m_skip; }
    // A program started with this in front of it runs inside that namespace.
    QStringList wrapper(Side side) const;
    // Runs a command in a namespace; its standard output, or a null string when it failed.
    QString run(Side side, const QStringList &command) const;
    // The router's port forwards as miniupnpd put them in nftables: "OUTSIDE->ADDRESS:INSIDE".
    QStringList forwards() const;

private:
    bool sh(const QStringList &command);
    bool startDaemon();

    QStringList m_names;
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_error, m_skip;
    bool m_upnp = true;
};
