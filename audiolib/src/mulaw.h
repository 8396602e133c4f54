// mulaw.h - the 8-bit mu-law (G.711) companding that every sample passes through on its way
// into and out of the GSM coder, as lookup tables built once.
#pragma once

#include <array>
#include <cstdint>

namespace ovela::audio
{

class MuLaw
{
public:
    // Linear 16-bit value of a mu-law code (the expansion table of libgsm's tools).
    static int16_t toLinear(uint8_t code) { return tables().expand[code]; }
    // Mu-law code of a linear value, looked up by its unsigned 16-bit pattern shifted right by 3.
    static uint8_t toCode(int16_t linear) { return tables().compress[index(linear)]; }

    // What the coder sees for an 8-bit sample: the value with high byte sample - 128 and low
    // byte 0x78, passed through the companding.
    static int16_t fromSample(uint8_t sample) { return tables().sampleIn[sample]; }
    // A decoded linear value passed through the companding (its mu-law code's linear value).
    static int16_t companded(int16_t linear) { return tables().companded[index(linear)]; }
    // The 8-bit sample of a linear value: high byte of its companded value, minus 128.
    static uint8_t toSample(int16_t linear) { return tables().sampleOut[index(linear)]; }

    // Whole frames at a time: one table lookup per sample, no per-sample set-up.
    static void fromSamples(const uint8_t *samples, int n, int16_t *linear)
    {
        const auto &table = tables().sampleIn;
        for (int i = 0; i < n; ++i)
            linear[i] = table[samples[i]];
    }
    static void toSamples(const int16_t *linear, int n, uint8_t *samples)
    {
        const auto &table = tables().sampleOut;
        for (int i = 0; i < n; ++i)
            samples[i] = table[index(linear[i])];
    }

private:
    static constexpr int kCompressSize = 8192;

    struct Tables {
        std::array<int16_t, 256> expand{};
        std::array<uint8_t, kCompressSize> compress{};
        std::array<int16_t, 256> sampleIn{};
        std::array<int16_t, kCompressSize> companded{};
        std::array<uint8_t, kCompressSize> sampleOut{};
        Tables();
    };

    static unsigned index(int16_t linear) { return static_cast<uint16_t>(linear) >> 3; }
    static const Tables &tables();
};

} // namespace ovela::audio
