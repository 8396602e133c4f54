// playbackdevice.cpp - the playing worker. Only the worker touches the sink; the caller's
// reset waits until the worker is out of a write before the blocks are released.
#include "playbackdevice.h"

#include <algorithm>
#include <new>

namespace ovela::audio
{

std::unique_ptr<PlayBlock> PlayBlock::create(uint32_t size)
{
    std::unique_ptr<PlayBlock> block(new (std::nothrow) PlayBlock);
    if (!block) return nullptr;
    block->data.reset(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
    if (!block->data) return nullptr;
    block->size = size;
    return block;
}

PlaybackDevice::PlaybackDevice(std::unique_ptr<PlaybackSink> sink, DoneHandler done)
    : m_sink(std::move(sink)), m_done(std::move(done)), m_thread([this] { run(); })
{
}

PlaybackDevice::~PlaybackDevice()
{
    close();
}

int PlaybackDevice::write(std::unique_ptr<PlayBlock> block)
{
    if (!block) return DeviceResult::kBadParam;
    std::lock_guard lock(m_mutex);
    if (m_quit || m_failed) return DeviceResult::kGeneral;
    m_queue.push_back(std::move(block));
    m_wake.notify_all();
    return DeviceResult::kOk;
}

void PlaybackDevice::dropAll()
{
    ++m_generation;
    m_finished += m_queue.size();
    m_queue.clear();
    m_offset = 0;
    m_dropSink = true;
    m_wake.notify_all();
}

int PlaybackDevice::reset()
{
    std::lock_guard control(m_control);
    std::unique_lock lock(m_mutex);
    // The worker may be writing from the front block: wait until it is out of the sink.
    m_wake.wait(lock, [this] { return !m_writing; });
    dropAll();
    return DeviceResult::kOk;
}

void PlaybackDevice::closeAsync()
{
    std::lock_guard lock(m_mutex);
    m_quit = true;
    m_wake.notify_all();
}

int PlaybackDevice::close()
{
    reset();
    std::lock_guard control(m_control);
    closeAsync();
    if (m_thread.joinable()) m_thread.join();
    return DeviceResult::kOk;
}

void PlaybackDevice::deliver(std::unique_lock<std::mutex> &lock)
{
    while (m_finished > 0) {
        --m_finished;
        lock.unlock();
        m_done();
        lock.lock();
    }
}

void PlaybackDevice::writeChunk(std::unique_lock<std::mutex> &lock)
{
    const PlayBlock &block = *m_queue.front();
    const size_t n = std::min(kChunk, block.size - m_offset);
    const uint8_t *from = block.data.get() + m_offset;
    const uint64_t generation = m_generation;
    m_writing = true;
    lock.unlock();
    const long written = m_sink->write(from, n);
    lock.lock();
    m_writing = false;
    m_wake.notify_all();
    if (written < 0) {
        // A device that failed for good gives its blocks back, so that the engine closes it.
        m_failed = true;
        dropAll();
        return;
    }
    m_pacer.advance(written);
    if (generation == m_generation) m_offset += static_cast<size_t>(written);
}

bool PlaybackDevice::heard(std::unique_lock<std::mutex> &lock)
{
    // The last block is done once the device has played out what it holds; more blocks
    // arriving meanwhile keep the sound going, so there is no need to wait then.
    const uint64_t generation = m_generation;
    const long pending = std::max(0L, m_sink->pending());
    const auto limit =
        Pacer::Clock::now() + std::chrono::milliseconds(500 + pending * 1000 / kSampleRate);
    while (m_queue.size() == 1 && generation == m_generation && !m_quit) {
        if (m_sink->pending() <= 0 || Pacer::Clock::now() >= limit) return true;
        m_wake.wait_for(lock, std::chrono::milliseconds(10));
    }
    return generation == m_generation && !m_queue.empty();
}

bool PlaybackDevice::busy() const
{
    return m_quit || m_finished > 0 || m_dropSink || (!m_queue.empty() && !m_failed);
}

void PlaybackDevice::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        deliver(lock);
        if (m_dropSink) {
            m_dropSink = false;
            m_sink->drop();
        }
        if (m_quit) break;
        if (m_queue.empty() || m_failed) {
            m_idle = true;
            m_wake.wait(lock, [this] { return busy(); });
            continue;
        }
        if (m_idle) {
            m_idle = false;
            m_pacer.restart();
        }
        const auto wait = m_pacer.wait(m_sink->lead());
        if (wait > Pacer::Clock::duration::zero()) {
            m_wake.wait_for(lock, wait);
            continue;
        }
        if (m_offset < m_queue.front()->size) {
            writeChunk(lock);
            continue;
        }
        if (m_queue.size() == 1 && !heard(lock)) continue;
        m_queue.pop_front();
        m_offset = 0;
        ++m_finished;
    }
    m_sink.reset();
}

} // namespace ovela::audio
