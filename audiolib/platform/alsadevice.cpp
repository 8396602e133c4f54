// alsadevice.cpp - the ALSA source and sink. Devices are opened without blocking (a busy
// device must not hang the program) and then switched to blocking reads and writes, which the
// worker threads rely on for their pace. Overruns and underruns are recovered in place.
#include "alsadevice.h"

#include <alsa/asoundlib.h>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <mutex>

namespace ovela::audio::alsa
{
namespace
{

constexpr unsigned kPeriodMicros = 20000;
constexpr unsigned kBufferMicros = 200000;
constexpr std::chrono::milliseconds kLead{250};

struct PcmCloser {
    void operator()(snd_pcm_t *pcm) const { snd_pcm_close(pcm); }
};
using Pcm = std::unique_ptr<snd_pcm_t, PcmCloser>;

struct HwParamsFree {
    void operator()(snd_pcm_hw_params_t *params) const { snd_pcm_hw_params_free(params); }
};

// ALSA prints every failed lookup to stderr; a machine without sound is normal for us.
void quietErrors(const char *, int, const char *, int, const char *, ...) {}

void initialise()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (!std::getenv("OVELA_ALSA_VERBOSE")) snd_lib_error_set_handler(quietErrors);
    });
}

int openResult(int error)
{
    switch (-error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return DeviceResult::kNoDevice;
    case EBUSY:
    case EAGAIN:
        return DeviceResult::kBusy;
    case ENOMEM:
        return DeviceResult::kNoMemory;
    default:
        return DeviceResult::kGeneral;
    }
}

int configure(snd_pcm_t *pcm)
{
    snd_pcm_hw_params_t *raw = nullptr;
    if (snd_pcm_hw_params_malloc(&raw) < 0) return DeviceResult::kNoMemory;
    std::unique_ptr<snd_pcm_hw_params_t, HwParamsFree> params(raw);
    if (snd_pcm_hw_params_any(pcm, raw) < 0) return DeviceResult::kGeneral;
    // Let ALSA resample and convert when the hardware cannot do 8 kHz 8-bit itself.
    snd_pcm_hw_params_set_rate_resample(pcm, raw, 1);
    if (snd_pcm_hw_params_set_access(pcm, raw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, raw, SND_PCM_FORMAT_U8) < 0 ||
        snd_pcm_hw_params_set_channels(pcm, raw, 1) < 0 ||
        snd_pcm_hw_params_set_rate(pcm, raw, kSampleRate, 0) < 0)
        return DeviceResult::kBadFormat;
    unsigned buffer = kBufferMicros;
    unsigned period = kPeriodMicros;
    snd_pcm_hw_params_set_buffer_time_near(pcm, raw, &buffer, nullptr);
    snd_pcm_hw_params_set_period_time_near(pcm, raw, &period, nullptr);
    if (snd_pcm_hw_params(pcm, raw) < 0) return DeviceResult::kBadFormat;
    return DeviceResult::kOk;
}

int open(const std::string &name, snd_pcm_stream_t stream, Pcm &pcm)
{
    initialise();
    snd_pcm_t *raw = nullptr;
    const int error = snd_pcm_open(&raw, name.c_str(), stream, SND_PCM_NONBLOCK);
    if (error < 0) return openResult(error);
    Pcm opened(raw);
    if (snd_pcm_nonblock(raw, 0) < 0) return DeviceResult::kGeneral;
    const int result = configure(raw);
    if (result != DeviceResult::kOk) return result;
    pcm = std::move(opened);
    return DeviceResult::kOk;
}

class AlsaSource final : public CaptureSource
{
public:
    explicit AlsaSource(Pcm pcm) : m_pcm(std::move(pcm)) {}

    int start() override
    {
        snd_pcm_drop(m_pcm.get());
        if (snd_pcm_prepare(m_pcm.get()) < 0 || snd_pcm_start(m_pcm.get()) < 0)
            return DeviceResult::kGeneral;
        return DeviceResult::kOk;
    }
    void stop() override { snd_pcm_drop(m_pcm.get()); }
    long read(uint8_t *dst, size_t n) override
    {
        const snd_pcm_sframes_t got = snd_pcm_readi(m_pcm.get(), dst, n);
        if (got >= 0) return got;
        // An overrun (the worker was late) loses a little sound; anything else is fatal.
        if (snd_pcm_recover(m_pcm.get(), static_cast<int>(got), 1) < 0) return -1;
        snd_pcm_start(m_pcm.get());
        return 0;
    }
    std::chrono::milliseconds lead() const override { return kLead; }

private:
    Pcm m_pcm;
};

class AlsaSink final : public PlaybackSink
{
public:
    explicit AlsaSink(Pcm pcm) : m_pcm(std::move(pcm)) {}

    long write(const uint8_t *src, size_t n) override
    {
        const snd_pcm_state_t state = snd_pcm_state(m_pcm.get());
        if (state == SND_PCM_STATE_SETUP || state == SND_PCM_STATE_XRUN)
            snd_pcm_prepare(m_pcm.get());
        const snd_pcm_sframes_t put = snd_pcm_writei(m_pcm.get(), src, n);
        if (put >= 0) return put;
        // An underrun between blocks is normal: recover and let the caller write again.
        if (snd_pcm_recover(m_pcm.get(), static_cast<int>(put), 1) < 0) return -1;
        return 0;
    }
    long pending() override
    {
        if (snd_pcm_state(m_pcm.get()) != SND_PCM_STATE_RUNNING) return 0;
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(m_pcm.get(), &delay) < 0) return 0;
        return delay;
    }
    void drop() override
    {
        snd_pcm_drop(m_pcm.get());
        snd_pcm_prepare(m_pcm.get());
    }
    std::chrono::milliseconds lead() const override { return kLead; }

private:
    Pcm m_pcm;
};

} // namespace

bool hasPlayback(const std::string &name)
{
    initialise();
    snd_pcm_t *pcm = nullptr;
    const int error = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (error < 0) return openResult(error) == DeviceResult::kBusy;
    snd_pcm_close(pcm);
    return true;
}

int openCapture(const std::string &name, std::unique_ptr<CaptureSource> &source)
{
    Pcm pcm;
    const int result = open(name, SND_PCM_STREAM_CAPTURE, pcm);
    if (result == DeviceResult::kOk) source = std::make_unique<AlsaSource>(std::move(pcm));
    return result;
}

int openPlayback(const std::string &name, std::unique_ptr<PlaybackSink> &sink)
{
    Pcm pcm;
    const int result = open(name, SND_PCM_STREAM_PLAYBACK, pcm);
    if (result == DeviceResult::kOk) sink = std::make_unique<AlsaSink>(std::move(pcm));
    return result;
}

std::vector<std::pair<std::string, std::string>> devices(bool recording)
{
    initialise();
    std::vector<std::pair<std::string, std::string>> list{{"default", "Default sound device"}};
    void **hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0) return list;
    auto take = [](void *hint, const char *id) {
        char *value = snd_device_name_get_hint(hint, id);
        std::string text = value ? value : "";
        std::free(value);
        return text;
    };
    for (void **h = hints; *h; ++h) {
        const std::string name = take(*h, "NAME");
        const std::string direction = take(*h, "IOID"); // empty: both ways
        const std::string lines = take(*h, "DESC");
        if (name.empty() || name == "default" || name == "null" || name.rfind("surround", 0) == 0 ||
            direction == (recording ? "Output" : "Input"))
            continue;
        // ALSA's descriptions run over two lines (card, then device).
        std::string description;
        for (const char c : lines) {
            if (c == '\n')
                description += ", ";
            else
                description += c == '\t' ? ' ' : c;
        }
        list.emplace_back(name, description);
    }
    snd_device_name_free_hint(hints);
    return list;
}

} // namespace ovela::audio::alsa
