// Row kernels of the capture conversions for processors with SSSE3 (every x86-64 processor made
// since 2008): sixteen pixels at a time, with exactly the results of the plain conversions.
// Elsewhere, or when the processor lacks SSSE3, available() is false and the plain loops run.
#pragma once

#include <cstdint>

namespace rxv::simd
{

bool available();
// Tests turn the fast rows off to check the plain loops on a processor that has SSSE3.
void allow(bool allowed);

// One row of a planar frame: width pixels (a multiple of 16) of luma and, per run of block
// pixels (2 or 4), one entry of each chroma part: parts[0] red, [1] green (its two products
// summed), [2] blue. With runs of 2 each part holds the even runs first, then the odd ones
// (entry run / 2, or width / 4 + run / 2). Writes width triplets, red in byte 0 when redFirst,
// else in byte 2.
void planarRow(const uint8_t *luma, const int32_t *const parts[3], int block, bool redFirst,
               int width, uint8_t *out);

// One row of 5-5-5 pixels: width (a multiple of 16) little-endian 16-bit pixels to triplets.
void rgb555Row(const uint8_t *in, int width, uint8_t *out);

} // namespace rxv::simd
