// The delaying relay.
#include "delayproxy.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>

namespace
{

// One direction of a relayed connection: what was read, each piece with the moment it is due.
class Pipe : public QObject
{
public:
    Pipe(QTcpSocket *from, QTcpSocket *to, int delayMs, QObject *parent)
        : QObject(parent), m_from(from), m_to(to), m_delayMs(delayMs)
    {
        m_clock.start();
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &Pipe::pass);
        connect(from, &QTcpSocket::readyRead, this, &Pipe::take);
        connect(to, &QTcpSocket::connected, this, &Pipe::pass);
        connect(from, &QTcpSocket::disconnected, this, [this] {
            m_closing = true;
            pass();
        });
    }

private:
    void take()
    {
        const QByteArray bytes = m_from->readAll();
        if (bytes.isEmpty()) return;
        m_queue.push_back({m_clock.elapsed() + m_delayMs, bytes});
        if (!m_timer.isActive()) m_timer.start(m_delayMs);
    }
    void pass()
    {
        if (m_to->state() != QAbstractSocket::ConnectedState) return;
        const qint64 now = m_clock.elapsed();
        while (!m_queue.empty() && m_queue.front().first <= now) {
            m_to->write(m_queue.front().second);
            m_queue.pop_front();
        }
        if (!m_queue.empty())
            m_timer.start(int(m_queue.front().first - now));
        else if (m_closing)
            m_to->disconnectFromHost();
    }

    QTcpSocket *m_from, *m_to;
    int m_delayMs;
    QElapsedTimer m_clock;
    QTimer m_timer;
    std::deque<std::pair<qint64, QByteArray>> m_queue;
    bool m_closing = false;
};

} // namespace

DelayProxy::DelayProxy(const QHostAddress &target, int oneWayMs, QObject *parent)
    : QObject(parent), m_target(target), m_delayMs(oneWayMs)
{
}

bool DelayProxy::listen(quint16 base, int count)
{
    for (int i = 0; i < count; ++i) {
        auto *server = new QTcpServer(this);
        const quint16 port = quint16(base + i);
        if (!server->listen(QHostAddress::AnyIPv4, port)) return false;
        connect(server, &QTcpServer::newConnection, this,
                [this, server, port] { accept(server, port); });
    }
    return true;
}

void DelayProxy::accept(QTcpServer *server, quint16 port)
{
    while (QTcpSocket *in = server->nextPendingConnection()) {
        auto *out = new QTcpSocket(in);
        new Pipe(in, out, m_delayMs, in);
        new Pipe(out, in, m_delayMs, in);
        // Gone once what it still carries has been passed on.
        connect(in, &QTcpSocket::disconnected, in,
                [this, in] { QTimer::singleShot(m_delayMs + 1000, in, &QObject::deleteLater); });
        out->connectToHost(m_target, port);
    }
}
