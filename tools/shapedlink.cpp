// Namespaces joined by shaped veth pairs.
#include "shapedlink.h"

#include <QCoreApplication>
#include <QProcess>

#include <unistd.h>

ShapedLink::ShapedLink(int kbit, bool relay) : m_relay(relay)
{
    if (::geteuid() != 0) {
        m_error =
            QStringLiteral("a shaped link needs root (ip netns, tc): run as root, as CI does");
        return;
    }
    const QString tag = QString::number(QCoreApplication::applicationPid());
    for (const char *end : {"a", "b", "r"}) {
        if (!relay && *end == 'r') break;
        const QString name = QStringLiteral("ovela-slow-%1-%2").arg(tag, QLatin1String(end));
        if (!run({"ip", "netns", "add", name})) return;
        m_names << name;
        if (!run({"ip", "-n", name, "link", "set", "lo", "up"})) return;
    }
    if (!relay) {
        join(Caller, Callee, QStringLiteral("10.77.0"), kbit);
        return;
    }
    // Caller 10.77.1.2 - relay 10.77.1.1 | relay 10.77.2.1 - callee 10.77.2.2; only the ends'
    // ways out are shaped, and the relay forwards between them.
    if (!join(Caller, Relay, QStringLiteral("10.77.1"), kbit) ||
        !join(Callee, Relay, QStringLiteral("10.77.2"), kbit))
        return;
    run({"ip", "netns", "exec", m_names[Relay], "sysctl", "-qw", "net.ipv4.ip_forward=1"}) &&
        run({"ip", "-n", m_names[Caller], "route", "add", "default", "via", "10.77.1.1"}) &&
        run({"ip", "-n", m_names[Callee], "route", "add", "default", "via", "10.77.2.1"});
}

// A veth pair between two namespaces: `a` at net.2 (net.1 without a relay), `b` at net.1 (net.2),
// the token bucket on each end that is not the relay's.
bool ShapedLink::join(int a, int b, const QString &net, int kbit)
{
    const QString pair = QStringLiteral("slow%1%2").arg(a).arg(b);
    const QString dev[2] = {pair + QLatin1Char('a'), pair + QLatin1Char('b')};
    const int ends[2] = {a, b};
    if (!run({"ip", "link", "add", dev[0], "netns", m_names[a], "type", "veth", "peer", "name",
              dev[1], "netns", m_names[b]}))
        return false;
    for (int i = 0; i < 2; ++i) {
        const QString &ns = m_names[ends[i]];
        const QString &name = dev[i];
        const int host = (b == Relay) ? (i == 0 ? 2 : 1) : (ends[i] == Caller ? 1 : 2);
        if (!run({"ip", "-n", ns, "addr", "add", QStringLiteral("%1.%2/24").arg(net).arg(host),
                  "dev", name}) ||
            !run({"ip", "-n", ns, "link", "set", name, "up"}))
            return false;
        // The rate, a 4 kB bucket, and no more than 200 ms queued before the filter drops.
        if (ends[i] != Relay &&
            !run({"tc", "-n", ns, "qdisc", "add", "dev", name, "root", "tbf", "rate",
                  QStringLiteral("%1kbit").arg(kbit), "burst", "4kb", "latency", "200ms"}))
            return false;
    }
    return true;
}

ShapedLink::~ShapedLink()
{
    for (const QString &ns : m_names)
        QProcess::execute(QStringLiteral("ip"), {"netns", "del", ns});
}

QStringList ShapedLink::wrapper(End end) const
{
    return {QStringLiteral("ip"), QStringLiteral("netns"), QStringLiteral("exec"),
            m_names.value(end)};
}

QString ShapedLink::calleeAddress() const
{
    return m_relay ? QStringLiteral("10.77.1.1") : QStringLiteral("10.77.0.2");
}

bool ShapedLink::run(const QStringList &command)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(command.first(), command.mid(1));
    if (p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    m_error =
        command.join(QLatin1Char(' ')) + QStringLiteral(": ") +
        (p.error() == QProcess::FailedToStart ? QStringLiteral("not found")
                                              : QString::fromLocal8Bit(p.readAll()).trimmed());
    return false;
}
