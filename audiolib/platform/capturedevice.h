// capturedevice.h - a recording device in the manner of a wave input: the caller queues empty
// buffers, a worker thread fills them from the source in real time and hands each one back
// through the done handler once it is full, or partly filled when recording stops.
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
#include <vector>

namespace ovela::audio
{

struct RecordBuffer {
    std::unique_ptr<uint8_t[]> data;
    uint32_t size = 0;
    uint32_t recorded = 0;

    // Null when memory runs out.
    static std::unique_ptr<RecordBuffer> create(uint32_t size);
};

class CaptureDevice
{
public:
    using DoneHandler = std::function<void(std::unique_ptr<RecordBuffer>)>;

    // The done handler runs on the worker thread, in the order the buffers were queued, and
    // never while the device's own lock is held.
    CaptureDevice(std::unique_ptr<CaptureSource> source, DoneHandler done);
    ~CaptureDevice();
    CaptureDevice(const CaptureDevice &) = delete;
    CaptureDevice &operator=(const CaptureDevice &) = delete;

    void addBuffer(std::unique_ptr<RecordBuffer> buffer);
    size_t queuedBuffers() const;
    int start();
    // Stops recording; a partly filled buffer is handed back.
    int stop();
    // Stops recording and hands back every queued buffer.
    int reset();
    // Resets, delivers what is left and ends the worker. Not to be called from the handler.
    int close();

private:
    static constexpr size_t kChunk = 160;

    void run();
    void deliver(std::unique_lock<std::mutex> &lock);
    void readChunk(std::unique_lock<std::mutex> &lock);
    void append(const uint8_t *chunk, size_t n);
    void stopLocked();
    // Stops recording and leaves every queued buffer for the worker to hand back; with `quit`
    // the worker then ends.
    void handBackAllLocked(bool quit);

    std::unique_ptr<CaptureSource> m_source;
    DoneHandler m_done;
    std::mutex m_control; // serialises start, stop, reset and close
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::unique_ptr<RecordBuffer>> m_pending; // the front one is being filled
    std::vector<std::unique_ptr<RecordBuffer>> m_finished;
    Pacer m_pacer;
    uint64_t m_generation = 0; // changes at each stop, once the read under way is kept
    bool m_running = false;
    bool m_sourceStarted = false;
    bool m_reading = false;
    bool m_failed = false;
    bool m_quit = false;
    bool m_closed = false;
    std::thread m_thread;
};

} // namespace ovela::audio
