// Stream-frame decoder and encoder with their table-driven colour transforms.
#include "stream_frame.h"

#include "engine.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace rxv
{

namespace
{

// Byte j of a block's four luma bytes holds the samples at (row, column) = (2(j/2), 2(j%2))
// (high nibble) and one row down, one column right (low nibble).
constexpr int sampleRow(int j)
{
    return (j / 2) * 2;
}
constexpr int sampleCol(int j)
{
    return (j % 2) * 2;
}

uint8_t component(int32_t value)
{
    if (value < 0x10000) return 0;
    return static_cast<uint8_t>(std::min<int32_t>(value, 0xFFFFFF) >> 16);
}

void colourPixel(const ProductTables &t, uint8_t y, uint8_t u, uint8_t v, uint8_t *pixel)
{
    const int32_t luma = t.yd[y];
    pixel[0] = component(luma + t.vr[v]);
    pixel[1] = component(luma + t.vg[v] + t.ug[u]);
    pixel[2] = component(luma + t.ub[u]);
}

void greyPixel(uint8_t grey, uint8_t *pixel)
{
    pixel[0] = pixel[1] = pixel[2] = grey;
}

void decodeBlocks(const uint8_t *frame, int type, uint8_t *picture, int width, int height)
{
    const ProductTables &t = productTables();
    const std::size_t area = static_cast<std::size_t>(width) * height;
    const uint8_t *luma = frame + 2;
    const uint8_t *uPlane = luma + area / 4;
    const uint8_t *vPlane = uPlane + area / 16;
    const int blocksAcross = width / 4;
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    for (int by = 0; by < height / 4; ++by) {
        for (int bx = 0; bx < blocksAcross; ++bx) {
            const std::size_t k = static_cast<std::size_t>(by) * blocksAcross + bx;
            // Grey frames end after the luma plane.
            const bool colour = type == kTypeColour;
            const uint8_t u = colour ? uPlane[k] | 3 : 0;
            const uint8_t v = colour ? vPlane[k] | 3 : 0;
            uint8_t *origin = picture + stride * (4 * by) + 3 * (4 * bx);
            for (int j = 0; j < 4; ++j) {
                const uint8_t b = luma[4 * k + j];
                const uint8_t high = b & 0xF0;
                const uint8_t low = static_cast<uint8_t>(b << 4);
                uint8_t *first = origin + stride * sampleRow(j) + 3 * sampleCol(j);
                uint8_t *second = first + stride + 3;
                if (colour) {
                    colourPixel(t, high | 3, u, v, first);
                    colourPixel(t, low | 3, u, v, second);
                } else {
                    greyPixel(high, first);
                    greyPixel(low, second);
                }
            }
        }
    }
}

inline void average(uint8_t *dst, const uint8_t *a, const uint8_t *b)
{
    for (int c = 0; c < 3; ++c)
        dst[c] = static_cast<uint8_t>((a[c] >> 1) + (b[c] >> 1));
}

inline void blend(uint8_t *dst, const uint8_t *l, const uint8_t *r, const uint8_t *u,
                  const uint8_t *d)
{
    for (int c = 0; c < 3; ++c) {
        const int horizontal = ((l[c] >> 1) + (r[c] >> 1)) >> 1;
        const int vertical = ((u[c] >> 1) + (d[c] >> 1)) >> 1;
        dst[c] = static_cast<uint8_t>(horizontal + vertical);
    }
}

inline int greenGap(const uint8_t *a, const uint8_t *b)
{
    return std::abs(a[1] - b[1]);
}

// One missing pixel between four sampled neighbours. "Above" is the previous row in the buffer,
// "below" the next one; the decision only depends on the two green gaps.
void fillInterior(uint8_t *p, std::size_t stride, bool oddRow)
{
    const uint8_t *left = p - 3;
    const uint8_t *right = p + 3;
    const uint8_t *above = p - stride;
    const uint8_t *below = p + stride;
    const int h = greenGap(left, right);
    const int v = greenGap(below, above);
    const bool both = oddRow ? (h > 128 && v > 128) : (std::abs(h - v) < 128);
    if (both)
        blend(p, left, right, above, below);
    else if (h > v)
        average(p, above, below);
    else
        average(p, left, right);
}

} // namespace

bool frameSizeForCode(int sizeCode, FrameSize &size)
{
    switch (sizeCode) {
    case 1:
        size = {80, 60};
        return true;
    case 2:
        size = {160, 120};
        return true;
    case 3:
        size = {160, 240};
        return true;
    case 5:
        size = {320, 240};
        return true;
    case 6:
        size = {640, 480};
        return true;
    default:
        return false;
    }
}

std::size_t streamFrameBytes(int type, int sizeCode)
{
    FrameSize size;
    if (!frameSizeForCode(sizeCode, size)) return 0;
    const std::size_t area = static_cast<std::size_t>(size.width) * size.height;
    if (type == kTypeColour) return area / 4 + area / 8 + 2;
    if (type == kTypeGrey || type == kTypeGreyAlt) return area / 4 + 2;
    return 0;
}

bool decodeStreamFrame(const uint8_t *frame, std::size_t frameBytes, uint8_t *picture, int width,
                       int height)
{
    std::memset(picture, 0, static_cast<std::size_t>(width) * height * 3);
    if (frameBytes < 2) return false;
    const int type = frame[0];
    FrameSize size;
    if (!frameSizeForCode(frame[1], size) || size.width != width || size.height != height)
        return false;
    const std::size_t needed = streamFrameBytes(type, frame[1]);
    if (needed == 0 || needed > frameBytes) return false;
    decodeBlocks(frame, type, picture, width, height);
    reconstructPicture(picture, width, height);
    return true;
}

void reconstructPicture(uint8_t *picture, int width, int height)
{
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    // Row 0: samples at even columns; the last pixel's right neighbour is the next pixel in the
    // buffer, the first of row 1.
    for (int x = 1; x < width; x += 2)
        average(picture + 3 * x, picture + 3 * (x - 1), picture + 3 * (x + 1));
    for (int k = 0; k < (height - 2) / 2; ++k) {
        uint8_t *odd = picture + stride * (2 * k + 1);
        std::memcpy(odd, odd + stride, 3); // column 0 copies the pixel below it
        for (int x = 2; x <= width - 2; x += 2)
            fillInterior(odd + 3 * x, stride, true);
        std::memcpy(odd + 3 * (width - 1), odd + 3 * (width - 2), 3);

        uint8_t *even = odd + stride;
        for (int x = 1; x <= width - 3; x += 2)
            fillInterior(even + 3 * x, stride, false);
        std::memcpy(even + 3 * (width - 1), even + 3 * (width - 2), 3);
    }
    // Last row: samples at odd columns; column 0 takes its left neighbour in buffer order, the
    // last pixel of the row before.
    uint8_t *last = picture + stride * (height - 1);
    for (int x = 0; x < width; x += 2)
        average(last + 3 * x, last + 3 * x - 3, last + 3 * x + 3);
}

namespace
{

int32_t lumaOf(const ProductTables &t, const uint8_t *p)
{
    return (t.y0[p[0]] + t.y1[p[1]] + t.y2[p[2]]) >> 16;
}

void encodeColourBlock(const ProductTables &t, const uint8_t *origin, std::size_t stride,
                       uint8_t *luma, uint8_t &u, uint8_t &v)
{
    for (int j = 0; j < 4; ++j) {
        const uint8_t *first = origin + stride * sampleRow(j) + 3 * sampleCol(j);
        const uint8_t *second = first + stride + 3;
        luma[j] = static_cast<uint8_t>((lumaOf(t, first) & 0xF0) | (lumaOf(t, second) >> 4));
    }
    int32_t uSum = 0;
    int32_t vSum = 0;
    for (const uint8_t *p : {origin, origin + stride + 3}) {
        uSum += t.u0[p[0]] + t.u1[p[1]] + t.u2[p[2]];
        vSum += t.v0[p[0]] + t.v1[p[1]] + t.v2[p[2]];
    }
    u = static_cast<uint8_t>((uSum >> 16) - 128);
    v = static_cast<uint8_t>((vSum >> 16) - 128);
}

void encodeGreyBlock(const uint8_t *origin, std::size_t stride, uint8_t *luma)
{
    for (int j = 0; j < 4; ++j) {
        const uint8_t *first = origin + stride * sampleRow(j) + sampleCol(j);
        const uint8_t *second = first + stride + 1;
        luma[j] = static_cast<uint8_t>(((first[0] & 0x0F) << 4) | (second[0] & 0x0F));
    }
}

} // namespace

int32_t encodeStreamFrame(const uint8_t *picture, int sizeCode, int type, uint8_t *out,
                          std::size_t capacity)
{
    if (type != kTypeColour && type != kTypeGrey && type != kTypeGreyAlt) return type;
    FrameSize size;
    const std::size_t bytes = streamFrameBytes(type, sizeCode);
    if (!frameSizeForCode(sizeCode, size) || bytes > capacity) return -1;
    const ProductTables &t = productTables();
    const std::size_t area = static_cast<std::size_t>(size.width) * size.height;
    const int pixelBytes = type == kTypeColour ? 3 : 1;
    const std::size_t stride = static_cast<std::size_t>(size.width) * pixelBytes;
    out[0] = static_cast<uint8_t>(type);
    out[1] = static_cast<uint8_t>(sizeCode);
    uint8_t *luma = out + 2;
    uint8_t *uPlane = luma + area / 4;
    uint8_t *vPlane = uPlane + area / 16;
    const int blocksAcross = size.width / 4;
    for (int by = 0; by < size.height / 4; ++by) {
        for (int bx = 0; bx < blocksAcross; ++bx) {
            const std::size_t k = static_cast<std::size_t>(by) * blocksAcross + bx;
            const uint8_t *origin = picture + stride * (4 * by) + pixelBytes * (4 * bx);
            if (type == kTypeColour)
                encodeColourBlock(t, origin, stride, luma + 4 * k, uPlane[k], vPlane[k]);
            else
                encodeGreyBlock(origin, stride, luma + 4 * k);
        }
    }
    return static_cast<int32_t>(bytes);
}

} // namespace rxv
