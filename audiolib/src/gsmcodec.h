// gsmcodec.h - the GSM block codec: 8-bit samples to blocks of one mode byte and 33-byte
// GSM 06.10 frames and back, with the half-rate mode that thins and doubles the samples.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

struct gsm_state;

namespace ovela::audio
{

class GsmCodec
{
public:
    static constexpr int kFrameBytes = 33;
    static constexpr int kFrameSamples = 160;
    static constexpr int kModeFull = 0;
    static constexpr int kModeHalf = 1;

    // Creates the coder states; false when libgsm could not create them (coding is skipped).
    bool start();
    void stop();
    bool running() const;

    // Returns the block length (1 + frames * 33), or 0 when there is no coder state.
    int compress(uint8_t *samples, int16_t count, int16_t mode, uint8_t *block);
    // Returns the samples written, never more than capacity.
    int decompress(const uint8_t *block, int16_t length, uint8_t *samples, int capacity);

    // Number of frames a block of this length carries (a trailing partial frame counts).
    static int framesIn(int length) { return length <= 1 ? 0 : (length + 31) / kFrameBytes; }

private:
    struct StateDeleter {
        void operator()(gsm_state *state) const;
    };
    using State = std::unique_ptr<gsm_state, StateDeleter>;

    void decodeFrame(const uint8_t *frame, int available, int16_t *linear);

    mutable std::mutex m_mutex;
    // Each direction keeps its own history: the encoder's long-term predictor must follow what
    // the far end's decoder reconstructs, which decoding received speech in between would spoil.
    State m_encoder;
    State m_decoder;
};

} // namespace ovela::audio
