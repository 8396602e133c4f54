// playbackdevice.h - a playing device in the manner of a wave output: the caller queues blocks,
// a worker thread plays them in order in real time and reports each block once it has been
// heard (the last one only when the device's buffer has run empty).
#pragma once

#include "pacer.h"
#include "wavedevice.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace ovela::audio
{

struct PlayBlock {
    std::unique_ptr<uint8_t[]> data;
    uint32_t size = 0;

    // Null when memory runs out.
    static std::unique_ptr<PlayBlock> create(uint32_t size);
};

class PlaybackDevice
{
public:
    // Called once per block, in order, on the worker thread without the device's lock held.
    using DoneHandler = std::function<void()>;

    PlaybackDevice(std::unique_ptr<PlaybackSink> sink, DoneHandler done);
    ~PlaybackDevice();
    PlaybackDevice(const PlaybackDevice &) = delete;
    PlaybackDevice &operator=(const PlaybackDevice &) = delete;

    int write(std::unique_ptr<PlayBlock> block);
    // Drops every queued block (each still reported as done) and silences the device.
    int reset();
    // Asks the worker to close the device and end; safe from inside the done handler.
    void closeAsync();
    // Resets, then ends the worker and closes the device. Not to be called from the handler.
    int close();

private:
    static constexpr size_t kChunk = 160;

    void run();
    bool busy() const;
    void deliver(std::unique_lock<std::mutex> &lock);
    void writeChunk(std::unique_lock<std::mutex> &lock);
    bool heard(std::unique_lock<std::mutex> &lock);
    void dropAll();

    std::unique_ptr<PlaybackSink> m_sink;
    DoneHandler m_done;
    std::mutex m_control;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::unique_ptr<PlayBlock>> m_queue; // the front one is playing
    size_t m_offset = 0;                            // samples of the front block written
    size_t m_finished = 0;                          // blocks done but not yet reported
    Pacer m_pacer;
    uint64_t m_generation = 0; // changes at each reset
    bool m_idle = true;
    bool m_writing = false;
    bool m_dropSink = false;
    bool m_failed = false;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace ovela::audio
