// pacer.h - keeps a device worker from running ahead of real time by more than a set lead.
#pragma once

#include <chrono>
#include <cstdint>

#include "wavedevice.h"

namespace ovela::audio
{

class Pacer
{
public:
    using Clock = std::chrono::steady_clock;

    void restart()
    {
        m_origin = Clock::now();
        m_samples = 0;
    }
    void advance(long samples) { m_samples += samples; }
    // How long to wait before going on, given how far ahead the samples may be.
    // A lead of milliseconds::max() means no pacing at all.
    Clock::duration wait(std::chrono::milliseconds lead) const
    {
        if (lead == std::chrono::milliseconds::max()) return Clock::duration::zero();
        const auto due = m_origin + std::chrono::microseconds(m_samples * 1000000 / kSampleRate);
        const auto ahead = due - Clock::now() - lead;
        return ahead > Clock::duration::zero() ? ahead : Clock::duration::zero();
    }

private:
    Clock::time_point m_origin = Clock::now();
    int64_t m_samples = 0;
};

} // namespace ovela::audio
