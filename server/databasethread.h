// Database work on a thread of its own, so that a database that answers slowly holds up only the
// requests waiting for it while everyone else is served. Work runs on the thread in the order it
// was posted; what the work hands back runs on the thread that made this one, in its event loop.
#pragma once

#include <QObject>
#include <QThread>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>

class DatabaseThread
{
public:
    explicit DatabaseThread(const QString &name);
    ~DatabaseThread(); // stop()
    DatabaseThread(const DatabaseThread &) = delete;
    DatabaseThread &operator=(const DatabaseThread &) = delete;

    // Runs `work` on the thread after what was posted before.
    void post(std::function<void()> work);
    // Runs `work` on the thread and waits for it.
    void call(const std::function<void()> &work);
    // From the thread: runs `work` on the maker's thread, unless stopped before.
    void reply(std::function<void()> work);
    // An object of the thread: what is made there with it as parent (timers, say) lives there
    // and goes when the thread stops.
    QObject *context() const { return m_worker; }
    // Posted work not yet done.
    int pending() const { return m_pending; }

    // Runs `last` on the thread and ends it: work not yet begun and replies not yet run are
    // dropped. Does nothing the second time.
    void stop(const std::function<void()> &last = {});

private:
    // Work and replies wait in queues; the other side is woken once for all that came while it
    // was busy, not once each (a busy server posts thousands a second).
    using Queue = std::deque<std::function<void()>>;
    static bool push(std::mutex &mutex, Queue &queue, std::function<void()> work);
    void runWork();
    void runReplies();

    std::mutex m_mutex;
    Queue m_work, m_replies;
    QThread m_thread;
    QObject *m_worker = nullptr;
    QObject m_receiver;
    std::atomic<int> m_pending{0};
    std::atomic<bool> m_stopping{false};
};
