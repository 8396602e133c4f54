// The scripted camera: a capture driver that shows the moving test pattern in a chosen size and
// byte layout, paced like a real camera at 15 frames per second on the capture thread. A real
// camera makes its pictures itself; asked to ("pattern:WxH:FORMAT:prepared"), the scripted one
// prepares its whole cycle of frames when it starts and only hands them out while it runs, so
// that what a benchmarked call costs is the program's own work, not the making of the pattern.
#pragma once

#include "capture_source.h"
#include "test_pattern.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

namespace rxv
{

struct PatternScript {
    int width = 0;
    int height = 0;
    PatternLayout layout = PatternLayout::Rgb24;
    bool prepared = false; // every frame made once, when the camera starts
};

// Reads "pattern:WxH:FORMAT" or "pattern:WxH:FORMAT:prepared" (the value of OVELA_CAMERA); false
// for anything else, including sizes the layout cannot hold.
bool parseCameraScript(const char *text, PatternScript &pattern);

class PatternSource : public CaptureSource
{
public:
    static constexpr int kFramesPerSecond = 15;
    // The pattern repeats every 256 frames. A prepared cycle that would take more memory than
    // this is made frame by frame as the frames are taken instead (large 24-bit pictures).
    static constexpr int kCycleFrames = 256;
    static constexpr std::size_t kPreparedBytesLimit = std::size_t{160} << 20;

    explicit PatternSource(const PatternScript &pattern);

    std::string name() const override;
    SourceFormat format() const override;
    bool setSize(int width, int height) override;
    bool start() override;
    void stop() override;
    Wait waitFrame() override;
    std::span<const uint8_t> frame() override;
    void doneWithFrame() override {}
    void wake() override;

private:
    using Clock = std::chrono::steady_clock;

    // Makes the cycle for the current size and layout unless it is there already; false when
    // the frames will be made one at a time.
    bool prepareCycle();

    PatternScript m_pattern;
    // Frame k is due k / 15 s after start(); a thread that falls behind skips frames, like a
    // camera whose reader is late.
    Clock::time_point m_start;
    int64_t m_next = 0;
    int64_t m_current = 0;
    std::vector<uint8_t> m_frame;
    std::vector<uint8_t> m_scene;
    // Every frame of the cycle, one after another, kept from one start to the next while the
    // size stays; empty when frames are made as they are taken.
    std::vector<uint8_t> m_cycle;
    std::size_t m_frameBytes = 0;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_woken = false;
};

} // namespace rxv
