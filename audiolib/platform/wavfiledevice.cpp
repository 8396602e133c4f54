// wavfiledevice.cpp - WAV reading and writing with libsndfile, rate conversion with
// libsamplerate.
#include "wavfiledevice.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <samplerate.h>
#include <set>
#include <sndfile.h>
#include <vector>

namespace ovela::audio::wavfile
{
namespace
{

constexpr std::chrono::milliseconds kNoLead{0};
constexpr uint8_t kSilence = 128;
// A microphone file is read whole; these keep a broken or hostile header from taking memory.
constexpr int kMaxChannels = 64;
constexpr sf_count_t kMaxSeconds = 3600;

struct SndfileCloser {
    void operator()(SNDFILE *file) const { sf_close(file); }
};
using SndFile = std::unique_ptr<SNDFILE, SndfileCloser>;

// Mixes to mono and converts the rate; empty when the file cannot be read.
bool readMono8k(const std::string &path, std::vector<float> &out)
{
    SF_INFO info{};
    SndFile file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file || info.channels < 1 || info.channels > kMaxChannels || info.samplerate < 1 ||
        info.frames < 0 || info.frames > static_cast<sf_count_t>(info.samplerate) * kMaxSeconds)
        return false;
    std::vector<float> frames(static_cast<size_t>(info.frames) * info.channels);
    const sf_count_t got = sf_readf_float(file.get(), frames.data(), info.frames);
    std::vector<float> mono(static_cast<size_t>(std::max<sf_count_t>(got, 0)));
    for (size_t i = 0; i < mono.size(); ++i) {
        float sum = 0;
        for (int c = 0; c < info.channels; ++c)
            sum += frames[i * info.channels + c];
        mono[i] = sum / static_cast<float>(info.channels);
    }
    if (info.samplerate == kSampleRate || mono.empty()) {
        out = std::move(mono);
        return true;
    }
    const double ratio = static_cast<double>(kSampleRate) / info.samplerate;
    out.assign(static_cast<size_t>(std::ceil(mono.size() * ratio)) + 16, 0.0f);
    SRC_DATA data{};
    data.data_in = mono.data();
    data.input_frames = static_cast<long>(mono.size());
    data.data_out = out.data();
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = ratio;
    if (src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1) != 0) return false;
    out.resize(static_cast<size_t>(data.output_frames_gen));
    return true;
}

uint8_t toUnsigned8(float value)
{
    const float scaled = std::nearbyint(value * 128.0f) + 128.0f;
    return static_cast<uint8_t>(std::clamp(scaled, 0.0f, 255.0f));
}

class FileSource final : public CaptureSource
{
public:
    explicit FileSource(std::vector<uint8_t> samples) : m_samples(std::move(samples)) {}

    int start() override { return DeviceResult::kOk; }
    void stop() override {}
    long read(uint8_t *dst, size_t n) override
    {
        const size_t left = m_samples.size() - std::min(m_position, m_samples.size());
        const size_t take = std::min(n, left);
        std::memcpy(dst, m_samples.data() + m_position, take);
        std::memset(dst + take, kSilence, n - take);
        m_position += take;
        return static_cast<long>(n);
    }
    std::chrono::milliseconds lead() const override { return kNoLead; }

private:
    std::vector<uint8_t> m_samples;
    size_t m_position = 0;
};

class FileSink final : public PlaybackSink
{
public:
    explicit FileSink(SndFile file) : m_file(std::move(file)) {}

    long write(const uint8_t *src, size_t n) override
    {
        // Unsigned 8-bit is the WAV layout of our samples, so they are written as they are.
        const sf_count_t put = sf_write_raw(m_file.get(), src, static_cast<sf_count_t>(n));
        return put < 0 ? -1 : static_cast<long>(put);
    }
    long pending() override { return 0; }
    void drop() override {}
    std::chrono::milliseconds lead() const override { return kNoLead; }

private:
    SndFile m_file;
};

SndFile openForWriting(const std::string &path, bool append)
{
    SF_INFO info{};
    if (append) {
        SndFile file(sf_open(path.c_str(), SFM_RDWR, &info));
        if (file && info.samplerate == kSampleRate && info.channels == 1 &&
            info.format == (SF_FORMAT_WAV | SF_FORMAT_PCM_U8) &&
            sf_seek(file.get(), 0, SEEK_END) >= 0)
            return file;
    }
    info = SF_INFO{};
    info.samplerate = kSampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_U8;
    return SndFile(sf_open(path.c_str(), SFM_WRITE, &info));
}

} // namespace

int openCapture(const std::string &path, std::unique_ptr<CaptureSource> &source)
{
    std::vector<float> mono;
    if (!readMono8k(path, mono)) {
        std::fprintf(stderr, "ovela audio: cannot read the microphone file %s\n", path.c_str());
        return DeviceResult::kGeneral;
    }
    std::vector<uint8_t> samples(mono.size());
    std::transform(mono.begin(), mono.end(), samples.begin(), toUnsigned8);
    source = std::make_unique<FileSource>(std::move(samples));
    return DeviceResult::kOk;
}

int openPlayback(const std::string &path, std::unique_ptr<PlaybackSink> &sink)
{
    static std::mutex mutex;
    static std::set<std::string> opened;
    std::lock_guard lock(mutex);
    SndFile file = openForWriting(path, opened.count(path) > 0);
    if (!file) {
        std::fprintf(stderr, "ovela audio: cannot write the speaker file %s\n", path.c_str());
        return DeviceResult::kGeneral;
    }
    // Keep the header right after every write, so the file can be read while it grows.
    sf_command(file.get(), SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    opened.insert(path);
    sink = std::make_unique<FileSink>(std::move(file));
    return DeviceResult::kOk;
}

} // namespace ovela::audio::wavfile
