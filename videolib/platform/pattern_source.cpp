// The scripted camera and the reading of its description.
#include "pattern_source.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace rxv
{

namespace
{

// A decimal number at the start of text, consumed; false when there is none or it is too long.
bool readNumber(std::string_view &text, int &value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

bool consume(std::string_view &text, char c)
{
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

} // namespace

bool parseCameraScript(const char *value, PatternScript &pattern)
{
    if (value == nullptr) return false;
    std::string_view text(value);
    constexpr std::string_view prefix = "pattern:";
    if (text.substr(0, prefix.size()) != prefix) return false;
    text.remove_prefix(prefix.size());
    PatternScript s;
    if (!readNumber(text, s.width) || !consume(text, 'x') || !readNumber(text, s.height) ||
        !consume(text, ':'))
        return false;
    constexpr std::string_view prepared = ":prepared";
    if (text.size() > prepared.size() && text.substr(text.size() - prepared.size()) == prepared) {
        s.prepared = true;
        text.remove_suffix(prepared.size());
    }
    const std::string layoutName(text);
    if (!patternLayoutFromName(layoutName.c_str(), s.layout)) return false;
    if (patternFrameBytes(s.layout, s.width, s.height) == 0) return false;
    pattern = s;
    return true;
}

PatternSource::PatternSource(const PatternScript &pattern) : m_pattern(pattern) {}

std::string PatternSource::name() const
{
    return "OVELA test pattern " + std::to_string(m_pattern.width) + "x" +
           std::to_string(m_pattern.height) + " " + patternLayoutName(m_pattern.layout);
}

SourceFormat PatternSource::format() const
{
    return {m_pattern.width, m_pattern.height, patternBits(m_pattern.layout),
            patternCompression(m_pattern.layout)};
}

bool PatternSource::setSize(int width, int height)
{
    if (patternFrameBytes(m_pattern.layout, width, height) == 0) return false;
    if (width != m_pattern.width || height != m_pattern.height) m_cycle = {};
    m_pattern.width = width;
    m_pattern.height = height;
    return true;
}

bool PatternSource::prepareCycle()
{
    m_frameBytes = patternFrameBytes(m_pattern.layout, m_pattern.width, m_pattern.height);
    if (!m_pattern.prepared) return false;
    if (!m_cycle.empty()) return true;
    if (m_frameBytes * kCycleFrames > kPreparedBytesLimit) return false;
    try {
        m_cycle.resize(m_frameBytes * kCycleFrames);
        std::vector<uint8_t> scene;
        for (int k = 0; k < kCycleFrames; ++k)
            makePatternFrame(m_pattern.layout, m_pattern.width, m_pattern.height,
                             static_cast<uint32_t>(k),
                             &m_cycle[m_frameBytes * static_cast<std::size_t>(k)], scene);
    } catch (const std::bad_alloc &) {
        m_cycle = {};
        return false;
    }
    return true;
}

bool PatternSource::start()
{
    if (!prepareCycle()) {
        try {
            m_frame.resize(m_frameBytes);
            // The scene is rendered on the capture thread, where running out of memory must not
            // throw: its room is taken here.
            m_scene.resize(static_cast<std::size_t>(m_pattern.width) * m_pattern.height * 3);
        } catch (const std::bad_alloc &) {
            return false;
        }
    }
    std::lock_guard lock(m_mutex);
    m_woken = false;
    m_start = Clock::now();
    m_next = 0;
    m_current = 0;
    return true;
}

void PatternSource::stop()
{
    m_frame = {};
    m_scene = {};
}

CaptureSource::Wait PatternSource::waitFrame()
{
    using std::chrono::microseconds;
    std::unique_lock lock(m_mutex);
    // k * 1,000,000 / 15 microseconds, kept exact over hours of frames.
    const auto due = m_start + microseconds(m_next * 200000 / 3);
    if (m_wake.wait_until(lock, due, [this] { return m_woken; })) {
        m_woken = false;
        return Wait::Nothing;
    }
    const auto elapsed = std::chrono::duration_cast<microseconds>(Clock::now() - m_start).count();
    m_current = std::max<int64_t>(m_next, elapsed * 3 / 200000);
    m_next = m_current + 1;
    return Wait::Frame;
}

std::span<const uint8_t> PatternSource::frame()
{
    if (!m_cycle.empty()) {
        const std::size_t k = static_cast<std::size_t>(m_current % kCycleFrames);
        return {&m_cycle[k * m_frameBytes], m_frameBytes};
    }
    makePatternFrame(m_pattern.layout, m_pattern.width, m_pattern.height,
                     static_cast<uint32_t>(m_current), m_frame.data(), m_scene);
    return {m_frame.data(), m_frame.size()};
}

void PatternSource::wake()
{
    std::lock_guard lock(m_mutex);
    m_woken = true;
    m_wake.notify_all();
}

} // namespace rxv
