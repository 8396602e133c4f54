// testsupport.h - shared helpers of the audio engine tests: a speech-like test signal, WAV
// files, similarity measures, and waiting for a device thread with a generous guard.
#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <numeric>
#include <sndfile.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace audiotest
{

// Voiced syllables: a glottal-like pulse train with a gliding pitch, shaped by two resonances
// that move from syllable to syllable, separated by short pauses. 8-bit unsigned, 8 kHz.
inline std::vector<uint8_t> speechLike(size_t count, double level = 0.6)
{
    std::vector<uint8_t> out(count);
    double phase = 0, y1 = 0, y2 = 0, z1 = 0, z2 = 0;
    for (size_t i = 0; i < count; ++i) {
        const double t = i / 8000.0;
        const int syllable = static_cast<int>(t / 0.25);
        const double within = std::fmod(t, 0.25) / 0.25;
        const double pitch = 110 + 40 * std::sin(2 * M_PI * 0.7 * t) + 10 * syllable % 30;
        phase += pitch / 8000.0;
        const double pulse = phase >= 1 ? 1.0 : 0.0;
        if (phase >= 1) phase -= 1;
        // Two resonators (formants) whose centre moves per syllable.
        const double f1 = 400 + 300 * ((syllable * 37) % 5) / 4.0;
        const double f2 = 1200 + 900 * ((syllable * 53) % 7) / 6.0;
        const double r = 0.96;
        const double y = pulse + 2 * r * std::cos(2 * M_PI * f1 / 8000) * y1 - r * r * y2;
        y2 = y1;
        y1 = y;
        const double z = y + 2 * r * std::cos(2 * M_PI * f2 / 8000) * z1 - r * r * z2;
        z2 = z1;
        z1 = z;
        const double envelope = within < 0.8 ? std::sin(M_PI * within / 0.8) : 0.0;
        const double value = std::clamp(level * envelope * (0.08 * y + 0.03 * z), -1.0, 1.0);
        out[i] = static_cast<uint8_t>(std::lround(128 + 127 * value));
    }
    return out;
}

// Normalised correlation of two 8-bit signals around 128, best over lags 0..maxLag of b.
inline double correlation(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b,
                          int maxLag = 8)
{
    double best = -1;
    for (int lag = 0; lag <= maxLag; ++lag) {
        double ab = 0, aa = 0, bb = 0;
        for (size_t i = 0; i + lag < b.size() && i < a.size(); ++i) {
            const double x = a[i] - 128.0, y = b[i + lag] - 128.0;
            ab += x * y;
            aa += x * x;
            bb += y * y;
        }
        if (aa > 0 && bb > 0) best = std::max(best, ab / std::sqrt(aa * bb));
    }
    return best;
}

inline std::string tempPath(const std::string &name)
{
    const auto dir =
        std::filesystem::temp_directory_path() / ("ovela-audio-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

// Writes float samples (-1..1) as a WAV file of the given rate, channels and sample format.
inline bool writeWav(const std::string &path, const std::vector<float> &interleaved, int rate,
                     int channels, int format)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    sf_writef_float(file, interleaved.data(),
                    static_cast<sf_count_t>(interleaved.size() / channels));
    sf_close(file);
    return true;
}

inline bool writeWavU8(const std::string &path, const std::vector<uint8_t> &samples)
{
    std::vector<float> values(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        values[i] = (samples[i] - 128) / 128.0f;
    return writeWav(path, values, 8000, 1, SF_FORMAT_PCM_U8);
}

// The samples of an 8 kHz 8-bit mono WAV file, exactly as stored; empty when it is not one.
inline std::vector<uint8_t> readWavU8(const std::string &path)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return {};
    std::vector<uint8_t> out;
    if (info.samplerate == 8000 && info.channels == 1 &&
        (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_U8) {
        out.resize(static_cast<size_t>(info.frames));
        out.resize(static_cast<size_t>(sf_read_raw(file, out.data(), info.frames)));
    }
    sf_close(file);
    return out;
}

// Polls until the condition holds; the limit only keeps a broken engine from hanging the run.
inline bool waitFor(const std::function<bool()> &condition,
                    std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace audiotest
