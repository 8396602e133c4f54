// A thread for database work.
#include "databasethread.h"

DatabaseThread::DatabaseThread(const QString &name)
{
    m_thread.setObjectName(name);
    m_worker = new QObject;
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

DatabaseThread::~DatabaseThread()
{
    stop();
}

namespace
{
// What one wake-up runs at most before letting the rest of its thread's events in.
constexpr int Batch = 256;
} // namespace

bool DatabaseThread::push(std::mutex &mutex, Queue &queue, std::function<void()> work)
{
    const std::lock_guard lock(mutex);
    queue.push_back(std::move(work));
    return queue.size() == 1; // it was empty: the other side is to be woken
}

void DatabaseThread::post(std::function<void()> work)
{
    if (m_stopping) return;
    ++m_pending;
    if (push(m_mutex, m_work, std::move(work)))
        QMetaObject::invokeMethod(
            m_worker, [this] { runWork(); }, Qt::QueuedConnection);
}

void DatabaseThread::runWork()
{
    for (int done = 0;; ++done) {
        std::function<void()> work;
        {
            const std::lock_guard lock(m_mutex);
            if (m_work.empty()) return;
            if (done == Batch) { // the rest after the thread's other events
                QMetaObject::invokeMethod(
                    m_worker, [this] { runWork(); }, Qt::QueuedConnection);
                return;
            }
            work = std::move(m_work.front());
            m_work.pop_front();
        }
        if (!m_stopping) work();
        --m_pending;
    }
}

void DatabaseThread::call(const std::function<void()> &work)
{
    if (m_stopping) return;
    QMetaObject::invokeMethod(m_worker, work, Qt::BlockingQueuedConnection);
}

void DatabaseThread::reply(std::function<void()> work)
{
    if (push(m_mutex, m_replies, std::move(work)))
        QMetaObject::invokeMethod(
            &m_receiver, [this] { runReplies(); }, Qt::QueuedConnection);
}

void DatabaseThread::runReplies()
{
    for (int done = 0;; ++done) {
        std::function<void()> work;
        {
            const std::lock_guard lock(m_mutex);
            if (m_replies.empty()) return;
            if (done == Batch) {
                QMetaObject::invokeMethod(
                    &m_receiver, [this] { runReplies(); }, Qt::QueuedConnection);
                return;
            }
            work = std::move(m_replies.front());
            m_replies.pop_front();
        }
        if (!m_stopping) work();
    }
}

void DatabaseThread::stop(const std::function<void()> &last)
{
    if (m_stopping.exchange(true)) return;
    QMetaObject::invokeMethod(
        m_worker,
        [this, &last] {
            if (last) last();
            qDeleteAll(m_worker->children()); // timers stop on their own thread
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
    m_worker = nullptr;
    const std::lock_guard lock(m_mutex);
    m_work.clear();
    m_replies.clear();
}
