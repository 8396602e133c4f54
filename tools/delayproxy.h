// A relay that holds what crosses it for a while before passing it on, both ways: a longer round
// trip between two programs than the kernel here can make (it has no netem). It listens on
// `count` ports from `base` and joins each connection to the same port of the target. What it
// reads it passes on after the delay, so it adds the delay without queueing more than the link
// before it delivers.
#pragma once

#include <QHostAddress>
#include <QObject>

class DelayProxy : public QObject
{
public:
    DelayProxy(const QHostAddress &target, int oneWayMs, QObject *parent = nullptr);
    bool listen(quint16 base, int count);

private:
    void accept(class QTcpServer *server, quint16 port);

    QHostAddress m_target;
    int m_delayMs;
};
