// capturedevice.cpp - the recording worker. The source is used by one thread at a time: the
// worker while recording, the caller (start, stop) only once the worker has left it.
#include "capturedevice.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace ovela::audio
{

std::unique_ptr<RecordBuffer> RecordBuffer::create(uint32_t size)
{
    std::unique_ptr<RecordBuffer> buffer(new (std::nothrow) RecordBuffer);
    if (!buffer) return nullptr;
    buffer->data.reset(new (std::nothrow) uint8_t[size]);
    if (!buffer->data) return nullptr;
    buffer->size = size;
    return buffer;
}

CaptureDevice::CaptureDevice(std::unique_ptr<CaptureSource> source, DoneHandler done)
    : m_source(std::move(source)), m_done(std::move(done)), m_thread([this] { run(); })
{
}

CaptureDevice::~CaptureDevice()
{
    close();
}

void CaptureDevice::addBuffer(std::unique_ptr<RecordBuffer> buffer)
{
    if (!buffer) return;
    std::lock_guard lock(m_mutex);
    buffer->recorded = 0;
    m_pending.push_back(std::move(buffer));
}

size_t CaptureDevice::queuedBuffers() const
{
    std::lock_guard lock(m_mutex);
    return m_pending.size();
}

int CaptureDevice::start()
{
    std::lock_guard control(m_control);
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_failed) return DeviceResult::kGeneral;
        if (m_running) return DeviceResult::kOk;
    }
    // The worker is not reading while recording is off, so the source is ours here.
    if (!m_sourceStarted) {
        const int result = m_source->start();
        if (result != DeviceResult::kOk) return result;
        m_sourceStarted = true;
    }
    std::lock_guard lock(m_mutex);
    m_running = true;
    m_pacer.restart();
    m_wake.notify_all();
    return DeviceResult::kOk;
}

void CaptureDevice::stopLocked()
{
    {
        std::unique_lock lock(m_mutex);
        // No read starts from here on; one under way was recording and is kept, so the
        // partly filled buffer is handed on only once it is in.
        m_running = false;
        m_wake.notify_all();
        m_wake.wait(lock, [this] { return !m_reading; });
        ++m_generation;
        if (!m_pending.empty() && m_pending.front()->recorded > 0) {
            m_finished.push_back(std::move(m_pending.front()));
            m_pending.pop_front();
        }
    }
    if (m_sourceStarted) {
        m_source->stop();
        m_sourceStarted = false;
    }
}

int CaptureDevice::stop()
{
    std::lock_guard control(m_control);
    if (!m_closed) stopLocked();
    return DeviceResult::kOk;
}

void CaptureDevice::handBackAllLocked(bool quit)
{
    stopLocked();
    std::lock_guard lock(m_mutex);
    for (auto &buffer : m_pending)
        m_finished.push_back(std::move(buffer));
    m_pending.clear();
    if (quit) m_quit = true;
    m_wake.notify_all();
}

int CaptureDevice::reset()
{
    std::lock_guard control(m_control);
    if (!m_closed) handBackAllLocked(false);
    return DeviceResult::kOk;
}

int CaptureDevice::close()
{
    std::lock_guard control(m_control);
    if (m_closed) return DeviceResult::kOk;
    handBackAllLocked(true);
    if (m_thread.joinable()) m_thread.join();
    m_source.reset();
    m_closed = true;
    return DeviceResult::kOk;
}

void CaptureDevice::deliver(std::unique_lock<std::mutex> &lock)
{
    while (!m_finished.empty()) {
        auto batch = std::move(m_finished);
        m_finished.clear();
        lock.unlock();
        for (auto &buffer : batch)
            m_done(std::move(buffer));
        lock.lock();
    }
}

void CaptureDevice::append(const uint8_t *chunk, size_t n)
{
    size_t offset = 0;
    // What arrives while no buffer is queued is lost, as on any wave input without buffers.
    while (offset < n && !m_pending.empty()) {
        RecordBuffer &buffer = *m_pending.front();
        const size_t take = std::min<size_t>(n - offset, buffer.size - buffer.recorded);
        std::memcpy(buffer.data.get() + buffer.recorded, chunk + offset, take);
        buffer.recorded += static_cast<uint32_t>(take);
        offset += take;
        if (buffer.recorded == buffer.size) {
            m_finished.push_back(std::move(m_pending.front()));
            m_pending.pop_front();
        }
    }
}

void CaptureDevice::readChunk(std::unique_lock<std::mutex> &lock)
{
    uint8_t chunk[kChunk];
    const uint64_t generation = m_generation;
    m_reading = true;
    lock.unlock();
    const long n = m_source->read(chunk, kChunk);
    lock.lock();
    m_reading = false;
    m_wake.notify_all();
    if (n < 0) {
        m_failed = true;
        return;
    }
    m_pacer.advance(n);
    // A stop waits for this read to end before it starts a new generation.
    if (generation == m_generation) append(chunk, static_cast<size_t>(n));
}

void CaptureDevice::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        deliver(lock);
        if (m_quit) break;
        if (!m_running || m_failed) {
            m_wake.wait(
                lock, [this] { return m_quit || !m_finished.empty() || (m_running && !m_failed); });
            continue;
        }
        const auto wait = m_pacer.wait(m_source->lead());
        if (wait > Pacer::Clock::duration::zero()) {
            m_wake.wait_for(lock, wait);
            continue;
        }
        readChunk(lock);
    }
}

} // namespace ovela::audio
