// Run-length codings of stream-frame packets ("KEN" fill runs, "DEN" zero runs) and the delta
// that a "DEN" packet applies to the previous stream frame.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rxv
{

// Largest output of one run-length payload; a payload that would decode to more is refused.
inline constexpr std::size_t kRunLengthLimit = 64000;

enum class RunCoding {
    Fill, // control byte < 0x80: count n, then one value byte repeated n times
    Zero  // control byte < 0x80: count n of zero bytes, no value byte
};

// Decodes length coded bytes into out, which holds at least limit bytes. Returns the output
// length, or 0 when the output would pass limit. A record cut short by the end of the payload
// contributes the literal bytes that are present.
std::size_t decodeRuns(RunCoding coding, const uint8_t *coded, std::size_t length, uint8_t *out,
                       std::size_t limit = kRunLengthLimit);

// Applies a decoded delta of length bytes to frame (which holds at least length bytes): bytes 0
// and 1 replace the header; from byte 2 on, 0 keeps the frame byte, 1 clears it, any other value
// replaces it.
void applyDelta(const uint8_t *delta, std::size_t length, uint8_t *frame);

} // namespace rxv
