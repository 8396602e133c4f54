// gsmcodec.cpp - GSM block coding on libgsm with the mu-law companding of every sample.
#include "gsmcodec.h"

#include "mulaw.h"

#include <algorithm>
#include <cstring>
#include <gsm.h>

namespace ovela::audio
{

void GsmCodec::StateDeleter::operator()(gsm_state *state) const
{
    gsm_destroy(state);
}

bool GsmCodec::start()
{
    std::lock_guard lock(m_mutex);
    m_encoder.reset(gsm_create());
    m_decoder.reset(gsm_create());
    if (!m_encoder || !m_decoder) {
        m_encoder.reset();
        m_decoder.reset();
        return false;
    }
    return true;
}

void GsmCodec::stop()
{
    std::lock_guard lock(m_mutex);
    m_encoder.reset();
    m_decoder.reset();
}

bool GsmCodec::running() const
{
    std::lock_guard lock(m_mutex);
    return m_encoder != nullptr;
}

int GsmCodec::compress(uint8_t *samples, int16_t count, int16_t mode, uint8_t *block)
{
    if (!samples || !block) return 0;
    std::lock_guard lock(m_mutex);
    if (!m_encoder) return 0;
    const bool half = mode == kModeHalf;
    int n = count;
    if (half) {
        n = count / 2;
        for (int i = 1; i < n; ++i)
            samples[i] = samples[2 * i];
    }
    block[0] = half ? kModeHalf : kModeFull;
    if (n <= 0) return 1;
    uint8_t *out = block + 1;
    gsm_signal linear[kFrameSamples];
    for (int start = 0; start < n; start += kFrameSamples) {
        const int used = std::min(kFrameSamples, n - start);
        MuLaw::fromSamples(samples + start, used, linear);
        std::fill(linear + used, linear + kFrameSamples, gsm_signal{0});
        gsm_encode(m_encoder.get(), linear, out);
        out += kFrameBytes;
    }
    return static_cast<int>(out - block);
}

void GsmCodec::decodeFrame(const uint8_t *frame, int available, int16_t *linear)
{
    gsm_byte padded[kFrameBytes] = {};
    const gsm_byte *source = frame;
    if (available < kFrameBytes) {
        // A partial last frame is decoded from a zero-padded copy, never past the block's end.
        std::memcpy(padded, frame, static_cast<size_t>(available));
        source = padded;
    }
    // libgsm rejects a frame without its signature and leaves the output alone: play silence.
    if (gsm_decode(m_decoder.get(), const_cast<gsm_byte *>(source), linear) != 0)
        std::fill(linear, linear + kFrameSamples, int16_t{0});
}

int GsmCodec::decompress(const uint8_t *block, int16_t length, uint8_t *samples, int capacity)
{
    if (!block || !samples || length <= 1 || capacity <= 0) return 0;
    const int mode = block[0];
    if (mode != kModeFull && mode != kModeHalf) return 0;
    std::lock_guard lock(m_mutex);
    if (!m_decoder) return 0;
    const int perFrame = mode == kModeHalf ? 2 * kFrameSamples : kFrameSamples;
    const int frames = std::min(framesIn(length), capacity / perFrame);
    const uint8_t *in = block + 1;
    const int payload = length - 1;
    uint8_t *out = samples;
    int16_t linear[kFrameSamples];
    int previous = 0;
    for (int f = 0; f < frames; ++f) {
        decodeFrame(in + f * kFrameBytes, std::min(kFrameBytes, payload - f * kFrameBytes), linear);
        if (mode == kModeFull) {
            MuLaw::toSamples(linear, kFrameSamples, out);
            out += kFrameSamples;
            continue;
        }
        for (int i = 0; i < kFrameSamples; ++i) {
            const int16_t current = MuLaw::companded(linear[i]);
            const uint8_t sample = MuLaw::toSample(linear[i]);
            // The first sample of the block stands in for its own midpoint.
            const bool first = f == 0 && i == 0;
            *out++ =
                first ? sample : MuLaw::toSample(static_cast<int16_t>((previous + current) / 2));
            *out++ = sample;
            previous = current;
        }
    }
    return static_cast<int>(out - samples);
}

} // namespace ovela::audio
