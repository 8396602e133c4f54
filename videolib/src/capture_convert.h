// Conversion of captured frames into pictures. A capture driver delivers frames in one of a few
// byte layouts; the engine recognises the layout and size by the frame's byte count alone and
// turns it into a 24-bit bottom-up BGR picture of 160 x 120, 320 x 240 or 640 x 480, cutting the
// middle out of the slightly larger video sizes (QCIF, CIF and their square-pixel cousins).
#pragma once

#include <cstddef>
#include <cstdint>

namespace rxv
{

enum class FrameLayout : uint8_t {
    Grey4,  // two pixels per byte, high nibble first, through the 4-bit grey table
    Grey6,  // one byte per pixel, value / 4 through the 6-bit grey table
    Yvu9,   // planar, top row first: luma, then two chroma planes of one sample per 4 x 4 pixels
    Yuv12,  // planar, top row first: luma, then two chroma planes of one sample per 2 x 2 pixels
    Rgb555, // 16-bit little-endian pixels x-rrrrr-ggggg-bbbbb, bottom row first
    Rgb24,  // BGR, bottom row first
};

// One recognised frame: its layout and size, where the picture lies in it, and the stream
// compression type a frame of this kind selects (-1: left as it is).
struct FrameFormat {
    uint32_t bytes;
    FrameLayout layout;
    uint16_t width, height;
    uint16_t cropX, cropY; // column and row of the picture, rows counted in the converted frame
    uint16_t outWidth, outHeight;
    int8_t compType;
};

// The format of a frame of that many bytes; null for every other count.
const FrameFormat *frameFormatFor(std::size_t bytes);

// Size type of a converted picture of that width: 2 (160), 5 (320), 6 (640); 0 otherwise.
uint8_t sizeTypeForWidth(int width);
// Width and height of a size type; false for an unknown type.
bool sizeOfSizeType(uint8_t sizeType, int &width, int &height);

// Converts a frame of format f (f.bytes long) into a picture of f.outWidth x f.outHeight in out.
void convertFrame(const FrameFormat &f, const uint8_t *frame, uint8_t *out);

} // namespace rxv
