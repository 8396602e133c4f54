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

void DatabaseThread::post(std::function<void()> work)
{
    if (m_stopping) return;
    ++m_pending;
    QMetaObject::invokeMethod(
        m_worker,
        [this, work = std::move(work)] {
            if (!m_stopping) work();
            --m_pending;
        },
        Qt::QueuedConnection);
}

void DatabaseThread::call(const std::function<void()> &work)
{
    if (m_stopping) return;
    QMetaObject::invokeMethod(m_worker, work, Qt::BlockingQueuedConnection);
}

void DatabaseThread::reply(std::function<void()> work)
{
    QMetaObject::invokeMethod(
        &m_receiver,
        [this, work = std::move(work)] {
            if (!m_stopping) work();
        },
        Qt::QueuedConnection);
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
}
