// A slow link between two programs on this machine: network namespaces joined by veth pairs,
// each end's way out shaped by the kernel's token bucket filter (tc tbf), as a home upload or a
// busy hotspot is. With a relay, the two ends are joined through a third namespace in the
// middle, where a program (a delay proxy) can stand between them. Needs root (ip netns, tc); the
// namespaces go when the object does. Nothing in them is reachable from outside: the addresses
// exist only inside these namespaces.
#pragma once

#include <QString>
#include <QStringList>

class ShapedLink
{
public:
    enum End { Caller = 0, Callee = 1, Relay = 2 };

    ShapedLink(int kbit, bool relay = false);
    ~ShapedLink();
    ShapedLink(const ShapedLink &) = delete;
    ShapedLink &operator=(const ShapedLink &) = delete;

    // Empty when the link is up; else what failed (not root, no ip or tc, a command's error).
    QString error() const { return m_error; }
    // A program started with this in front of it runs inside that namespace.
    QStringList wrapper(End end) const;
    // Where the caller reaches the callee (with a relay: the relay), and where the relay reaches
    // the callee.
    QString calleeAddress() const;
    static QString calleeBehindRelay() { return QStringLiteral("10.77.2.2"); }

private:
    bool run(const QStringList &command);
    bool join(int a, int b, const QString &net, int kbit);

    QStringList m_names;
    bool m_relay = false;
    QString m_error;
};
