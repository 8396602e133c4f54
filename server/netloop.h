// The server's connections: listening TCP sockets and every client connection in one epoll set,
// watched by a single notifier in the Qt event loop. A connection costs a descriptor and a small
// record, so ten thousand idle ones stay cheap; each is read a bounded amount per round, so a
// client that floods us waits its turn like everyone else.
//
// Lines end with "<ET>". A line longer than the limit, a client that connects once too often
// (per address or in all) and one that does not log in within the login time are closed, and so
// is one whose machine has vanished without closing, by TCP keepalive.
#pragma once

#include "log.h"
#include "protocol/linesplitter.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <deque>
#include <memory>
#include <vector>

// What the protocol keeps about a connection; the connection owns it.
struct ConnectionState {
    virtual ~ConnectionState() = default;
};

class NetLoop
{
public:
    enum Channel { DirectoryChannel, PalChannel, ChannelCount };

    struct Limits {
        int perAddress = 256;
        int perLoopback = 0; // 0: as many as in all
        int total = 0;       // 0: what the descriptor limit allows, less a reserve
        int maxLineBytes = 4096;
        int loginMs = 60000;
        // TCP keepalive: probes after this much silence, then every interval; a connection
        // that answers none of them (or leaves what we sent unacknowledged as long) is closed.
        int keepaliveIdleSeconds = 60, keepaliveIntervalSeconds = 10, keepaliveProbes = 4;
    };

    struct Connection {
        int fd = -1;
        Channel channel = DirectoryChannel;
        quint32 peer = 0; // IPv4, host order
        quint64 serial = 0;
        std::unique_ptr<ConnectionState> state;

        QString peerText() const { return addressText(peer); }

    private:
        friend class NetLoop;
        explicit Connection(qsizetype lineLimit) : splitter(lineLimit) {}
        LineSplitter splitter;
        QList<QByteArray> out; // what is still to be sent; the first from `outOffset`
        qsizetype outOffset = 0, outBytes = 0;
        quint32 events = 0;   // what epoll watches for
        bool watched = false; // in the epoll set
        bool loggedIn = false;
        bool closing = false;    // close once everything is sent
        bool halfClosed = false; // sent everything and our FIN; waiting for the client's
        bool dead = false;
        bool held = false;           // waiting for the server: nothing more is read
        std::vector<LinePiece> kept; // read while held, handed on by resume()
    };

    class Handler
    {
    public:
        virtual ~Handler() = default;
        virtual void lineReceived(Connection &c, const QByteArray &line) = 0;
        // The connection is about to go; its state goes with it.
        virtual void connectionClosed(Connection &c) = 0;
        // Sent, if it fits at once, to a client refused for want of room.
        virtual QByteArray refusal(Channel channel) = 0;
    };

    static QString addressText(quint32 address); // IPv4 in host order, dotted

    NetLoop(Handler &handler, const Limits &limits);
    ~NetLoop(); // closes every connection without telling the handler
    NetLoop(const NetLoop &) = delete;
    NetLoop &operator=(const NetLoop &) = delete;

    // Listens on an IPv4 address ("0.0.0.0": all); port 0 picks a free one.
    bool listen(Channel channel, const QString &address, quint16 port, QString *error);
    quint16 port(Channel channel) const { return m_ports[channel]; }

    // Queues `bytes`; they go out when the connection's present read is handled.
    void send(Connection &c, const QByteArray &bytes);
    // Queues and starts sending now: for answers that come outside a read (a timer, a thread).
    void sendNow(Connection &c, const QByteArray &bytes);
    // Sends what is queued, then closes; nothing more is read from the connection.
    void closeAfterSending(Connection &c);
    // Logged in: the login time no longer applies.
    void setLoggedIn(Connection &c);
    // While the server works out its answer to a line (asking its database), the connection's
    // later lines wait: nothing more is read from it, and the lines already read are kept.
    // resume() hands them on in order, and reading goes on once none is left and the
    // connection is not held again.
    void hold(Connection &c);
    void resume(Connection &c);
    // The open connection that had this descriptor and serial, if it is still open.
    Connection *find(int fd, quint64 serial) const;

    int connections() const { return m_connections; }
    // Connections refused for the limits, and their lines left out of the log, since the last
    // call.
    std::pair<int, int> takeRefusals();
    int totalLimit() const { return m_totalLimit; }

private:
    void onEvents();
    int acceptOn(Channel channel, int most); // how much of the round it took
    void refuse(int fd, Channel channel);
    void readFrom(Connection &c);
    // Hands a line on; false when the connection is gone or may read no more for now.
    bool deliver(Connection &c, const LinePiece &piece);
    void freeDead();
    void flush(Connection &c);
    void watch(Connection &c);
    void drop(Connection &c);
    struct Deadline {
        qint64 at;
        int fd;
        quint64 serial;
    };
    void addDeadline(std::deque<Deadline> &queue, Connection &c, qint64 ms);
    void onDeadlines();

    Handler &m_handler;
    Limits m_limits;
    int m_totalLimit = 0;
    int m_epoll = -1;
    int m_spare = -1; // a descriptor given up to refuse a client when none is left
    int m_listeners[ChannelCount] = {-1, -1};
    quint16 m_ports[ChannelCount] = {0, 0};
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::vector<struct epoll_event> m_events;
    std::vector<Connection *> m_byFd;
    std::vector<Connection *> m_dead; // freed at the end of a round
    QHash<quint32, int> m_perAddress;
    int m_connections = 0;
    int m_refused = 0;
    Log::Throttle m_refusalLines;
    quint64 m_serial = 0;
    // Login times and farewells: each queue has one length of time, so it stays in order.
    std::deque<Deadline> m_loginDeadlines, m_closeDeadlines;
    QTimer m_timer;
};
