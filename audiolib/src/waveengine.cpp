// waveengine.cpp - the queues and counters between the device threads and the caller.
// Lock order: the engine's lock may be held while calling into a device, never the other way
// round (device threads call the engine without holding their own lock), and the engine's
// lock is never held while a device thread is being waited for.
#include "waveengine.h"

#include <algorithm>

namespace ovela::audio
{

WaveEngine::WaveEngine(std::unique_ptr<DeviceFactory> factory) : m_factory(std::move(factory)) {}

WaveEngine::~WaveEngine()
{
    std::shared_ptr<CaptureDevice> input;
    std::shared_ptr<PlaybackDevice> output;
    {
        std::lock_guard lock(m_mutex);
        m_recording = false;
        input = std::move(m_input);
        output = std::move(m_output);
    }
    if (input) input->close();
    if (output) output->close();
    reapClosedOutputs();
}

int32_t WaveEngine::nextHandle()
{
    m_lastHandle = m_lastHandle >= 0x7FFFFFFF ? 1 : m_lastHandle + 1;
    return m_lastHandle;
}

int32_t WaveEngine::hasAudio()
{
    return m_factory->hasPlayback() ? 1 : 0;
}

// ---- Recording -------------------------------------------------------------------------

void WaveEngine::topUpRecording()
{
    while (m_input->queuedBuffers() < kRecordingBuffers) {
        auto buffer = RecordBuffer::create(RecordQueue::kBufferBytes);
        if (!buffer) break;
        m_input->addBuffer(std::move(buffer));
    }
}

void WaveEngine::onRecorded(std::unique_ptr<RecordBuffer> buffer)
{
    std::lock_guard lock(m_mutex);
    m_recorded.push(buffer->data.get(), buffer->recorded);
}

int32_t WaveEngine::initIn(int32_t *handle)
{
    if (!handle) return DeviceResult::kBadParam;
    std::shared_ptr<CaptureDevice> device;
    {
        std::lock_guard lock(m_mutex);
        if (m_input) {
            // Already recording: the caller gets the same device, and nothing is lost.
            m_recording = true;
            topUpRecording();
            *handle = m_inputHandle;
            device = m_input;
        }
    }
    if (device) return device->start();

    std::unique_ptr<CaptureSource> source;
    const int opened = m_factory->openCapture(source);
    if (opened != DeviceResult::kOk) return opened;
    device = std::make_shared<CaptureDevice>(
        std::move(source),
        [this](std::unique_ptr<RecordBuffer> buffer) { onRecorded(std::move(buffer)); });
    int32_t newHandle = 0;
    {
        std::lock_guard lock(m_mutex);
        m_input = device;
        newHandle = m_inputHandle = nextHandle();
        m_recorded.clear();
        topUpRecording();
        m_recording = true;
    }
    const int started = device->start();
    if (started != DeviceResult::kOk) {
        closeIn(newHandle);
        return started;
    }
    *handle = newHandle;
    return DeviceResult::kOk;
}

std::shared_ptr<CaptureDevice> WaveEngine::inputFor(int32_t handle)
{
    std::lock_guard lock(m_mutex);
    if (!m_input || handle != m_inputHandle) return nullptr;
    return m_input;
}

int32_t WaveEngine::startIn(int32_t handle)
{
    std::shared_ptr<CaptureDevice> device;
    {
        std::lock_guard lock(m_mutex);
        if (!m_input || handle != m_inputHandle) return DeviceResult::kBadHandle;
        m_recording = true;
        // After a reset the device holds no buffers; without new ones it would record nothing.
        topUpRecording();
        device = m_input;
    }
    return device->start();
}

int32_t WaveEngine::statusIn()
{
    std::lock_guard lock(m_mutex);
    return m_recorded.count();
}

int32_t WaveEngine::getIn(uint8_t *destination)
{
    if (!destination) return 0;
    std::lock_guard lock(m_mutex);
    const size_t length = m_recorded.pop(destination);
    if (length == 0) return 0;
    // One buffer back to the device for each one taken keeps it recording.
    if (m_recording && m_input) {
        if (auto buffer = RecordBuffer::create(RecordQueue::kBufferBytes))
            m_input->addBuffer(std::move(buffer));
    }
    return static_cast<int32_t>(length);
}

int32_t WaveEngine::resetIn(int32_t handle)
{
    const auto device = inputFor(handle);
    return device ? device->reset() : DeviceResult::kBadHandle;
}

int32_t WaveEngine::stopIn(int32_t handle)
{
    const auto device = inputFor(handle);
    return device ? device->stop() : DeviceResult::kBadHandle;
}

int32_t WaveEngine::closeIn(int32_t handle)
{
    std::shared_ptr<CaptureDevice> device;
    {
        std::lock_guard lock(m_mutex);
        if (!m_input || handle != m_inputHandle) return DeviceResult::kBadHandle;
        m_recording = false;
        device = std::move(m_input);
        m_inputHandle = 0;
    }
    // The partly filled buffer still reaches the queue while the device closes.
    device->stop();
    device->reset();
    return device->close();
}

size_t WaveEngine::recordingBuffersQueued()
{
    std::lock_guard lock(m_mutex);
    return m_input ? m_input->queuedBuffers() : 0;
}

// ---- Playback --------------------------------------------------------------------------

void WaveEngine::reapClosedOutputs()
{
    std::vector<std::shared_ptr<PlaybackDevice>> closed;
    {
        std::lock_guard lock(m_mutex);
        closed.swap(m_closedOutputs);
    }
    for (auto &device : closed)
        device->close();
}

void WaveEngine::onPlayed(int32_t handle)
{
    std::shared_ptr<PlaybackDevice> closing;
    {
        std::lock_guard lock(m_mutex);
        if (!m_output || handle != m_outputHandle) return;
        if (m_submitted > 0) --m_submitted;
        if (m_submitted > 0) return;
        // The last block has been heard: the device closes itself.
        closing = std::move(m_output);
        m_outputHandle = 0;
        m_closedOutputs.push_back(closing);
    }
    closing->closeAsync();
}

int32_t WaveEngine::initOut(int32_t *handle)
{
    if (!handle) return DeviceResult::kBadParam;
    reapClosedOutputs();
    int32_t newHandle = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_output) {
            *handle = m_outputHandle;
            return DeviceResult::kOk;
        }
        newHandle = nextHandle();
    }
    std::unique_ptr<PlaybackSink> sink;
    const int opened = m_factory->openPlayback(sink);
    if (opened != DeviceResult::kOk) return opened;
    auto device = std::make_shared<PlaybackDevice>(std::move(sink),
                                                   [this, newHandle] { onPlayed(newHandle); });
    std::lock_guard lock(m_mutex);
    m_output = std::move(device);
    m_outputHandle = newHandle;
    m_submitted = 0;
    *handle = newHandle;
    return DeviceResult::kOk;
}

int32_t WaveEngine::statusOut()
{
    reapClosedOutputs();
    std::lock_guard lock(m_mutex);
    return m_output ? 1 : 0;
}

int32_t WaveEngine::setOut(const uint8_t *samples, int16_t count)
{
    reapClosedOutputs();
    if (count < 0 || (count > 0 && !samples)) return DeviceResult::kBadParam;
    std::lock_guard lock(m_mutex);
    if (!m_output) return DeviceResult::kBadHandle;
    auto block = PlayBlock::create(static_cast<uint32_t>(count));
    if (!block) return DeviceResult::kOk; // out of memory: nothing is played
    const int level = m_volumeLevel;
    for (int i = 0; i < count; ++i)
        block->data[i] = static_cast<uint8_t>(128 + (samples[i] - 128) * level / 0xFFFF);
    // Counted before the device sees it, so that its done notice always finds it counted.
    ++m_submitted;
    const int result = m_output->write(std::move(block));
    if (result != DeviceResult::kOk) --m_submitted;
    return result;
}

int32_t WaveEngine::stopOut(int32_t handle)
{
    std::shared_ptr<PlaybackDevice> device;
    {
        std::lock_guard lock(m_mutex);
        if (!m_output || handle != m_outputHandle) return DeviceResult::kBadHandle;
        device = m_output;
    }
    return device->reset();
}

int32_t WaveEngine::closeOut(int32_t handle)
{
    reapClosedOutputs();
    std::shared_ptr<PlaybackDevice> device;
    {
        std::lock_guard lock(m_mutex);
        if (!m_output || handle != m_outputHandle) return DeviceResult::kBadHandle;
        device = std::move(m_output);
        m_outputHandle = 0;
        m_submitted = 0;
    }
    return device->close();
}

// ---- Volume ----------------------------------------------------------------------------

int32_t WaveEngine::volume()
{
    std::lock_guard lock(m_mutex);
    // Rounded, so that reading back what was set gives the same value (50 stores 32767).
    return (m_volumeLevel * 100 + 0xFFFF / 2) / 0xFFFF;
}

int32_t WaveEngine::setVolume(int32_t volume)
{
    const int32_t clamped = std::clamp(volume, 0, 100);
    std::lock_guard lock(m_mutex);
    m_volumeLevel = static_cast<uint16_t>(clamped * 0xFFFF / 100);
    return DeviceResult::kOk;
}

} // namespace ovela::audio
