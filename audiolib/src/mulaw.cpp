// mulaw.cpp - builds the companding tables. libgsm keeps its own mu-law tables inside its
// command-line tools and does not export them, so they are computed here: the expansion is the
// G.711 segment decoder scaled by 32767/32632 and truncated (this reproduces libgsm's table
// exactly), the compression is the G.711 segment encoder applied to the lowest value of each
// group of eight linear values.
#include "mulaw.h"

namespace ovela::audio
{
namespace
{

constexpr int kBias = 0x84;
constexpr int kClip = 32635;

int16_t expandCode(uint8_t code)
{
    const int bits = static_cast<uint8_t>(~code);
    const int exponent = (bits >> 4) & 0x07;
    const int mantissa = bits & 0x0F;
    const int magnitude = (((mantissa << 3) + kBias) << exponent) - kBias;
    const int scaled = magnitude * 32767 / 32632;
    return static_cast<int16_t>((bits & 0x80) ? -scaled : scaled);
}

uint8_t compressLinear(int linear)
{
    int mask = 0xFF;
    if (linear < 0) {
        linear = -linear;
        mask = 0x7F;
    }
    if (linear > kClip) linear = kClip;
    linear += kBias;
    int segment = 0;
    while (segment < 7 && linear >= (0x100 << segment))
        ++segment;
    const int code = (segment << 4) | ((linear >> (segment + 3)) & 0x0F);
    return static_cast<uint8_t>(code ^ mask);
}

} // namespace

MuLaw::Tables::Tables()
{
    for (int c = 0; c < 256; ++c)
        expand[c] = expandCode(static_cast<uint8_t>(c));
    for (int i = 0; i < kCompressSize; ++i)
        compress[i] = compressLinear(static_cast<int16_t>(static_cast<uint16_t>(i << 3)));
    for (int i = 0; i < kCompressSize; ++i) {
        companded[i] = expand[compress[i]];
        // High byte of the companded value minus 128, modulo 256.
        const auto high = static_cast<uint8_t>(static_cast<uint16_t>(companded[i]) >> 8);
        sampleOut[i] = static_cast<uint8_t>(high - 128);
    }
    for (int s = 0; s < 256; ++s) {
        const auto pattern = static_cast<uint16_t>(((s - 128) & 0xFF) << 8 | 0x78);
        sampleIn[s] = companded[pattern >> 3];
    }
}

const MuLaw::Tables &MuLaw::tables()
{
    static const Tables instance;
    return instance;
}

} // namespace ovela::audio
