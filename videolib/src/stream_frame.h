// The stream frame: a two-byte header (compression type, size code) and 4 x 4-pixel blocks of
// quincunx-sampled 4-bit luma, plus one blue- and one red-difference byte per block for colour.
// Decoding fills the unsampled half of the pixels with the reconstruction filter.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rxv
{

inline constexpr int kTypeColour = 6;
inline constexpr int kTypeGrey = 7;
inline constexpr int kTypeGreyAlt = 9; // identical to kTypeGrey

struct FrameSize {
    int width = 0;
    int height = 0;
};

// Size of a stream size code (1, 2, 3, 5, 6); false for any other code.
bool frameSizeForCode(int sizeCode, FrameSize &size);

// Length of a stream frame of that type and size code; 0 when either is not valid.
std::size_t streamFrameBytes(int type, int sizeCode);

// Decodes the stream frame (frameBytes available) into a picture of width x height x 3 bytes.
// Returns false, leaving a black picture, when the frame's type is not a stream type, its size
// code names another size, or frameBytes is less than its layout. The packet engine always
// passes its whole stream-frame buffer, so a short packet payload never fails here: the bytes it
// did not cover are decoded as they were left by earlier frames.
bool decodeStreamFrame(const uint8_t *frame, std::size_t frameBytes, uint8_t *picture, int width,
                       int height);

// Writes a stream frame of the given type from a picture of the size code's dimensions (3 bytes
// per pixel for colour; one grey value 0-15 per pixel for the grey types). Returns the frame
// length; for a type other than 6, 7 and 9 nothing is written and the type itself is returned;
// -1 when the size code is not valid or capacity is too small.
int32_t encodeStreamFrame(const uint8_t *picture, int sizeCode, int type, uint8_t *out,
                          std::size_t capacity);

// Fills the unsampled pixels of a decoded picture in place.
void reconstructPicture(uint8_t *picture, int width, int height);

} // namespace rxv
