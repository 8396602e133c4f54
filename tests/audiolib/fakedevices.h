// fakedevices.h - devices for driving the engine without sound hardware: a source that
// records a counting pattern and a sink that keeps everything it plays. Run fast (no real-time
// pacing) they let the device threads and the caller race as hard as they can.
#pragma once

#include "wavedevice.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace audiotest
{

using namespace ovela::audio;

struct FakeWorld {
    bool fast = true;               // no pacing: the workers run flat out
    size_t captureLimit = SIZE_MAX; // bytes the source delivers before it goes quiet
    int captureOpenResult = 0;
    int playbackOpenResult = 0;
    bool playbackExists = true;

    std::atomic<size_t> captured{0};
    std::mutex mutex;
    std::vector<uint8_t> played;

    std::vector<uint8_t> playedCopy()
    {
        std::lock_guard lock(mutex);
        return played;
    }
};

// Little-endian 32-bit word counter: every 4 bytes hold the index of that word in the stream.
class CounterSource final : public CaptureSource
{
public:
    explicit CounterSource(std::shared_ptr<FakeWorld> world) : m_world(std::move(world)) {}
    int start() override { return 0; }
    void stop() override {}
    long read(uint8_t *dst, size_t n) override
    {
        const size_t at = m_world->captured.load();
        const size_t take =
            std::min(n, m_world->captureLimit - std::min(at, m_world->captureLimit));
        if (take == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return 0;
        }
        for (size_t i = 0; i < take; ++i) {
            const uint32_t word = static_cast<uint32_t>((at + i) / 4);
            dst[i] = static_cast<uint8_t>(word >> (8 * ((at + i) % 4)));
        }
        m_world->captured += take;
        // A real device makes its reader wait; give the caller's thread a turn at least.
        std::this_thread::yield();
        return static_cast<long>(take);
    }
    std::chrono::milliseconds lead() const override
    {
        return m_world->fast ? std::chrono::milliseconds::max() : std::chrono::milliseconds(0);
    }

private:
    std::shared_ptr<FakeWorld> m_world;
};

class KeepingSink final : public PlaybackSink
{
public:
    explicit KeepingSink(std::shared_ptr<FakeWorld> world) : m_world(std::move(world)) {}
    long write(const uint8_t *src, size_t n) override
    {
        std::lock_guard lock(m_world->mutex);
        m_world->played.insert(m_world->played.end(), src, src + n);
        return static_cast<long>(n);
    }
    long pending() override { return 0; }
    void drop() override {}
    std::chrono::milliseconds lead() const override
    {
        return m_world->fast ? std::chrono::milliseconds::max() : std::chrono::milliseconds(0);
    }

private:
    std::shared_ptr<FakeWorld> m_world;
};

class FakeFactory final : public DeviceFactory
{
public:
    explicit FakeFactory(std::shared_ptr<FakeWorld> world) : m_world(std::move(world)) {}
    bool hasPlayback() override { return m_world->playbackExists; }
    int openCapture(std::unique_ptr<CaptureSource> &source) override
    {
        if (m_world->captureOpenResult != 0) return m_world->captureOpenResult;
        source = std::make_unique<CounterSource>(m_world);
        return 0;
    }
    int openPlayback(std::unique_ptr<PlaybackSink> &sink) override
    {
        if (m_world->playbackOpenResult != 0) return m_world->playbackOpenResult;
        sink = std::make_unique<KeepingSink>(m_world);
        return 0;
    }

private:
    std::shared_ptr<FakeWorld> m_world;
};

// The first word of a recorded buffer, after checking that the whole buffer counts on from it
// (a torn buffer would not). -1 when it does not.
inline long firstWordOf(const uint8_t *buffer, size_t length)
{
    auto word = [&](size_t i) {
        uint32_t w;
        std::memcpy(&w, buffer + 4 * i, 4);
        return w;
    };
    if (length % 4 != 0 || length == 0) return -1;
    for (size_t i = 1; i < length / 4; ++i)
        if (word(i) != word(0) + i) return -1;
    return word(0);
}

} // namespace audiotest
