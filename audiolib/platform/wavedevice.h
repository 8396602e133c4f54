// wavedevice.h - what the engine needs from a sound device: a source of recorded samples, a
// sink for played samples, and a factory that opens them (real ALSA devices or WAV files).
// Every source and sink is used by one worker thread only once it has been opened.
#pragma once

#include "qvnaud20.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace ovela::audio
{

// Results of opening or driving a device, as the exports report them.
namespace DeviceResult
{
constexpr int kOk = 0;
constexpr int kNoDevice = QVNAUD20_NO_DEVICE;
constexpr int kGeneral = QVNAUD20_ERR_GENERAL;
constexpr int kBusy = QVNAUD20_ERR_BUSY;
constexpr int kBadHandle = QVNAUD20_ERR_BAD_HANDLE;
constexpr int kNoMemory = QVNAUD20_ERR_NO_MEMORY;
constexpr int kBadParam = QVNAUD20_ERR_BAD_PARAM;
constexpr int kBadFormat = QVNAUD20_ERR_BAD_FORMAT;
} // namespace DeviceResult

constexpr int kSampleRate = 8000;

class CaptureSource
{
public:
    virtual ~CaptureSource() = default;
    virtual int start() = 0;
    virtual void stop() = 0;
    // Reads up to n samples; blocks for at most about one period. Returns the samples read, or
    // a negative value when the device failed for good.
    virtual long read(uint8_t *dst, size_t n) = 0;
    // How far reading may run ahead of the wall clock. Real devices never do; sources that
    // answer at once (files, ALSA's null device) are held to real time by the caller.
    virtual std::chrono::milliseconds lead() const = 0;
};

class PlaybackSink
{
public:
    virtual ~PlaybackSink() = default;
    // Writes n samples; blocks while the device's buffer is full. Returns the samples taken,
    // or a negative value when the device failed for good.
    virtual long write(const uint8_t *src, size_t n) = 0;
    // Samples written but not yet heard.
    virtual long pending() = 0;
    // Drops what has not been heard yet.
    virtual void drop() = 0;
    virtual std::chrono::milliseconds lead() const = 0;
};

class DeviceFactory
{
public:
    virtual ~DeviceFactory() = default;
    virtual bool hasPlayback() = 0;
    // 0 and a source, or kNoDevice, kBadFormat, kBusy or another error.
    virtual int openCapture(std::unique_ptr<CaptureSource> &source) = 0;
    virtual int openPlayback(std::unique_ptr<PlaybackSink> &sink) = 0;
};

} // namespace ovela::audio
