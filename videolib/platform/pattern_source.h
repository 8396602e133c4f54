// The scripted camera: a capture driver that shows the moving test pattern in a chosen size and
// byte layout, paced like a real camera at 15 frames per second on the capture thread.
#pragma once

#include "capture_source.h"
#include "test_pattern.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace rxv
{

struct PatternScript {
    int width = 0;
    int height = 0;
    PatternLayout layout = PatternLayout::Rgb24;
};

// Reads "pattern:WxH:FORMAT" (the value of OVELA_CAMERA); false for anything else, including
// sizes the layout cannot hold.
bool parseCameraScript(const char *text, PatternScript &pattern);

class PatternSource : public CaptureSource
{
public:
    static constexpr int kFramesPerSecond = 15;

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

    PatternScript m_pattern;
    // Frame k is due k / 15 s after start(); a thread that falls behind skips frames, like a
    // camera whose reader is late.
    Clock::time_point m_start;
    int64_t m_next = 0;
    int64_t m_current = 0;
    std::vector<uint8_t> m_frame;
    std::vector<uint8_t> m_scene;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_woken = false;
};

} // namespace rxv
