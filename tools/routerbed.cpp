// Three namespaces and miniupnpd.
#include "routerbed.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

namespace
{
// The router's tables, with the chains miniupnpd fills (its defaults: table "filter" of the
// inet family), and the masquerade towards the outside.
const char *Rules = R"(table inet filter {
  chain forward { type filter hook forward priority 0; policy accept; jump miniupnpd; }
  chain miniupnpd { }
  chain prerouting { type nat hook prerouting priority -100; policy accept;
                     jump prerouting_miniupnpd; }
  chain postrouting { type nat hook postrouting priority 100; policy accept;
                      jump postrouting_miniupnpd; oifname "r1" masquerade; }
  chain prerouting_miniupnpd { }
  chain postrouting_miniupnpd { }
}
)";

// secure_mode off: the test may give a port to another home machine first.
const char *Config = R"(ext_ifname=r1
listening_ip=r0
port=0
enable_upnp=yes
enable_natpmp=yes
secure_mode=no
system_uptime=no
uuid=6f1e3a52-1d0b-4c1e-9a77-0e1a2b3c4d5e
allow 1024-65535 192.168.77.0/24 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
)";
} // namespace

RouterBed::RouterBed(bool upnp) : m_upnp(upnp)
{
    if (::geteuid() != 0) {
        m_skip = QStringLiteral("the router test bed needs root (ip netns, nft): run as root, as "
                                "CI does");
        return;
    }
    for (const char *tool : {"miniupnpd", "nft", "ip", "upnpc"})
        if (QStandardPaths::findExecutable(QLatin1String(tool),
                                           {"/usr/sbin", "/usr/bin", "/sbin", "/bin"})
                .isEmpty()) {
            m_skip = QStringLiteral("%1 is not installed (scripts/deps.sh installs it: "
                                    "miniupnpd-nftables, nftables, iproute2, miniupnpc)")
                         .arg(QLatin1String(tool));
            return;
        }
    const QString tag = QString::number(QCoreApplication::applicationPid());
    for (const char *side : {"home", "router", "outside"}) {
        const QString name = QStringLiteral("ovela-nat-%1-%2").arg(tag, QLatin1String(side));
        if (!sh({"ip", "netns", "add", name})) return;
        m_names << name;
        if (!sh({"ip", "-n", name, "link", "set", "lo", "up"})) return;
    }
    const QString &home = m_names[Home], &router = m_names[Router], &outside = m_names[Outside];
    const bool up = sh({"ip", "link", "add", "h0", "netns", home, "type", "veth", "peer", "name",
                        "r0", "netns", router}) &&
                    sh({"ip", "link", "add", "o0", "netns", outside, "type", "veth", "peer", "name",
                        "r1", "netns", router}) &&
                    sh({"ip", "-n", home, "addr", "add", "192.168.77.2/24", "dev", "h0"}) &&
                    sh({"ip", "-n", router, "addr", "add", "192.168.77.1/24", "dev", "r0"}) &&
                    sh({"ip", "-n", router, "addr", "add", "198.20.77.1/24", "dev", "r1"}) &&
                    sh({"ip", "-n", outside, "addr", "add", "198.20.77.2/24", "dev", "o0"}) &&
                    sh({"ip", "-n", home, "link", "set", "h0", "up"}) &&
                    sh({"ip", "-n", router, "link", "set", "r0", "up"}) &&
                    sh({"ip", "-n", router, "link", "set", "r1", "up"}) &&
                    sh({"ip", "-n", outside, "link", "set", "o0", "up"}) &&
                    sh({"ip", "-n", home, "route", "add", "default", "via", "192.168.77.1"}) &&
                    sh({"ip", "netns", "exec", router, "sysctl", "-qw", "net.ipv4.ip_forward=1"});
    if (!up) return;
    QFile rules(m_dir.filePath(QStringLiteral("router.nft")));
    if (!rules.open(QIODevice::WriteOnly) || rules.write(Rules) < 0) {
        m_error = QStringLiteral("cannot write the router's rules");
        return;
    }
    rules.close();
    if (!sh({"ip", "netns", "exec", router, "nft", "-f", rules.fileName()})) return;
    startDaemon();
}

bool RouterBed::startDaemon()
{
    QFile config(m_dir.filePath(QStringLiteral("miniupnpd.conf")));
    QByteArray text(Config);
    if (!m_upnp) text.replace("enable_upnp=yes", "enable_upnp=no");
    if (!config.open(QIODevice::WriteOnly) || config.write(text) < 0) {
        m_error = QStringLiteral("cannot write miniupnpd's configuration");
        return false;
    }
    config.close();
    m_daemon.setProcessChannelMode(QProcess::MergedChannels);
    m_daemon.setStandardOutputFile(m_dir.filePath(QStringLiteral("miniupnpd.log")));
    m_daemon.start(QStringLiteral("ip"),
                   {"netns", "exec", m_names[Router], "miniupnpd", "-f", config.fileName(), "-d",
                    "-P", m_dir.filePath(QStringLiteral("miniupnpd.pid"))});
    // Up when it answers NAT-PMP's port; it reads its configuration first.
    for (int i = 0; i < 50; ++i) {
        if (run(Router, {"ss", "-lun", "sport", "=", ":5351"}).contains(QLatin1String(":5351")))
            return true;
        if (m_daemon.state() == QProcess::NotRunning) break;
        QThread::msleep(100);
    }
    QFile log(m_dir.filePath(QStringLiteral("miniupnpd.log")));
    log.open(QIODevice::ReadOnly);
    m_error = QStringLiteral("miniupnpd did not start: ") + QString::fromLocal8Bit(log.readAll());
    return false;
}

RouterBed::~RouterBed()
{
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(3000)) m_daemon.kill();
        m_daemon.waitForFinished(1000);
    }
    for (const QString &ns : m_names)
        QProcess::execute(QStringLiteral("ip"), {"netns", "del", ns});
}

bool RouterBed::sh(const QStringList &command)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(command.first(), command.mid(1));
    if (p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    m_error = command.join(QLatin1Char(' ')) + QStringLiteral(": ") +
              QString::fromLocal8Bit(p.readAll()).trimmed();
    return false;
}

QStringList RouterBed::wrapper(Side side) const
{
    return {QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"),
            m_names.value(side)};
}

QString RouterBed::run(Side side, const QStringList &command) const
{
    QProcess p;
    const QStringList all = wrapper(side) + command;
    p.start(all.first(), all.mid(1));
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit) return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

QStringList RouterBed::forwards() const
{
    // iif "r1" @nh,72,8 0x6 th dport 2404 dnat ip to 192.168.77.2:2400
    static const QRegularExpression rule(
        QStringLiteral(R"(dport (\d+) dnat (?:ip )?to ([\d.]+):(\d+))"));
    QStringList list;
    const QString text =
        run(Router, {"nft", "list", "chain", "inet", "filter", "prerouting_miniupnpd"});
    for (auto it = rule.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        list << QStringLiteral("%1->%2:%3").arg(m.captured(1), m.captured(2), m.captured(3));
    }
    return list;
}
