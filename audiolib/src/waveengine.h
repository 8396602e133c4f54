// waveengine.h - recording and playback as polled queues: recorded buffers wait in a queue
// for the caller to take, played blocks are counted and the playback device closes itself
// once the last one has been heard. Device threads and the caller meet under one lock.
#pragma once

#include "../platform/capturedevice.h"
#include "../platform/playbackdevice.h"
#include "../platform/wavedevice.h"
#include "recordqueue.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace ovela::audio
{

class WaveEngine
{
public:
    static constexpr int kRecordingBuffers = 10;

    explicit WaveEngine(std::unique_ptr<DeviceFactory> factory);
    ~WaveEngine();
    WaveEngine(const WaveEngine &) = delete;
    WaveEngine &operator=(const WaveEngine &) = delete;

    int32_t hasAudio();

    int32_t initIn(int32_t *handle);
    int32_t startIn(int32_t handle);
    int32_t statusIn();
    int32_t getIn(uint8_t *destination);
    int32_t resetIn(int32_t handle);
    int32_t stopIn(int32_t handle);
    int32_t closeIn(int32_t handle);

    int32_t initOut(int32_t *handle);
    int32_t statusOut();
    int32_t setOut(const uint8_t *samples, int16_t count);
    int32_t stopOut(int32_t handle);
    int32_t closeOut(int32_t handle);

    int32_t volume();
    int32_t setVolume(int32_t volume);

    // Buffers the recording device holds (for tests and diagnostics).
    size_t recordingBuffersQueued();

private:
    std::shared_ptr<CaptureDevice> inputFor(int32_t handle);
    void topUpRecording(); // under m_mutex
    void onRecorded(std::unique_ptr<RecordBuffer> buffer);
    void onPlayed(int32_t handle);
    void reapClosedOutputs();
    int32_t nextHandle();

    std::unique_ptr<DeviceFactory> m_factory;
    std::mutex m_mutex;
    int32_t m_lastHandle = 0;

    std::shared_ptr<CaptureDevice> m_input;
    int32_t m_inputHandle = 0;
    bool m_recording = false;
    RecordQueue m_recorded;

    std::shared_ptr<PlaybackDevice> m_output;
    int32_t m_outputHandle = 0;
    uint16_t m_submitted = 0;
    // Devices that closed themselves; their threads are joined on the caller's thread.
    std::vector<std::shared_ptr<PlaybackDevice>> m_closedOutputs;
    uint16_t m_volumeLevel = 0xFFFF; // per channel, 0..65535
};

} // namespace ovela::audio
