// Run-length decoding of "KEN" and "DEN" payloads and the "DEN" delta.
#include "runlength.h"

#include <algorithm>
#include <cstring>

namespace rxv
{

std::size_t decodeRuns(RunCoding coding, const uint8_t *coded, std::size_t length, uint8_t *out,
                       std::size_t limit)
{
    std::size_t in = 0;
    std::size_t produced = 0;
    while (in < length) {
        const uint8_t control = coded[in++];
        if (control & 0x80) {
            const std::size_t n = std::min<std::size_t>(control & 0x7F, length - in);
            if (produced + n > limit) return 0;
            std::memcpy(out + produced, coded + in, n);
            in += n;
            produced += n;
            continue;
        }
        uint8_t value = 0;
        if (coding == RunCoding::Fill) {
            if (in >= length) break; // the value byte was cut off
            value = coded[in++];
        }
        if (produced + control > limit) return 0;
        std::memset(out + produced, value, control);
        produced += control;
    }
    return produced;
}

void applyDelta(const uint8_t *delta, std::size_t length, uint8_t *frame)
{
    for (std::size_t i = 0; i < length && i < 2; ++i)
        frame[i] = delta[i];
    for (std::size_t i = 2; i < length; ++i) {
        const uint8_t d = delta[i];
        if (d == 1)
            frame[i] = 0;
        else if (d != 0)
            frame[i] = d;
    }
}

} // namespace rxv
