// The table of recognised frames and the table-driven conversions of each layout.
#include "capture_convert.h"

#include "capture_simd.h"
#include "engine.h"

#include <algorithm>
#include <cstring>

namespace rxv
{

namespace
{

using L = FrameLayout;

// Sorted by byte count. Crops cut the centred picture out of QCIF (176 x 144), CIF (352 x 288),
// 192 x 144, 384 x 288 and 768 x 576 frames.
constexpr FrameFormat kFormats[] = {
    {9600, L::Grey4, 160, 120, 0, 0, 160, 120, 7},
    {19200, L::Grey6, 160, 120, 0, 0, 160, 120, 7},
    {21600, L::Yvu9, 160, 120, 0, 0, 160, 120, 6},
    {28512, L::Yvu9, 176, 144, 8, 12, 160, 120, 6},
    {28800, L::Yuv12, 160, 120, 0, 0, 160, 120, -1},
    {38016, L::Yuv12, 176, 144, 8, 12, 160, 120, -1},
    {38400, L::Grey4, 320, 240, 0, 0, 320, 240, 7},
    {50688, L::Rgb555, 176, 144, 8, 12, 160, 120, -1},
    {57600, L::Rgb24, 160, 120, 0, 0, 160, 120, 6},
    {76032, L::Rgb24, 176, 144, 8, 12, 160, 120, 6},
    {76800, L::Grey6, 320, 240, 0, 0, 320, 240, 7},
    {82944, L::Rgb24, 192, 144, 16, 12, 160, 120, 6},
    {86400, L::Yvu9, 320, 240, 0, 0, 320, 240, 6},
    {114048, L::Yvu9, 352, 288, 16, 24, 320, 240, 6},
    {115200, L::Yuv12, 320, 240, 0, 0, 320, 240, -1},
    {152064, L::Yuv12, 352, 288, 16, 24, 320, 240, -1},
    {153600, L::Rgb555, 320, 240, 0, 0, 320, 240, 6},
    {202752, L::Rgb555, 352, 288, 16, 24, 320, 240, -1},
    {230400, L::Rgb24, 320, 240, 0, 0, 320, 240, 6},
    {304128, L::Rgb24, 352, 288, 16, 24, 320, 240, 6},
    {331776, L::Rgb24, 384, 288, 32, 24, 320, 240, 6},
    {460800, L::Yuv12, 640, 480, 0, 0, 640, 480, -1},
    {614400, L::Rgb555, 640, 480, 0, 0, 640, 480, 6},
    {921600, L::Rgb24, 640, 480, 0, 0, 640, 480, 6},
    {1327104, L::Rgb24, 768, 576, 64, 48, 640, 480, 6},
};

inline void putGrey(uint8_t *px, uint8_t value)
{
    px[0] = px[1] = px[2] = value;
}

void convertGrey4(const FrameFormat &f, const uint8_t *frame, uint8_t *out)
{
    const uint8_t *table = greyTables().grey4;
    for (int r = 0; r < f.outHeight; ++r) {
        const std::size_t first = static_cast<std::size_t>(r + f.cropY) * f.width + f.cropX;
        for (int c = 0; c < f.outWidth; ++c, out += 3) {
            const std::size_t i = first + static_cast<std::size_t>(c);
            const uint8_t byte = frame[i / 2];
            const uint8_t nibble = (i % 2 == 0) ? byte >> 4 : byte & 0x0F;
            putGrey(out, static_cast<uint8_t>(table[nibble] * 16));
        }
    }
}

void convertGrey6(const FrameFormat &f, const uint8_t *frame, uint8_t *out)
{
    const uint8_t *table = greyTables().grey6;
    for (int r = 0; r < f.outHeight; ++r) {
        const uint8_t *in = frame + static_cast<std::size_t>(r + f.cropY) * f.width + f.cropX;
        for (int c = 0; c < f.outWidth; ++c, out += 3) {
            // The table covers 64 greys; brighter values of a 256-grey frame must not index
            // past its 16 entries, so they count as the last one.
            const int index = std::min(in[c] >> 2, 15);
            putGrey(out, static_cast<uint8_t>(table[index] * 16));
        }
    }
}

void convertRgb555(const FrameFormat &f, const uint8_t *frame, uint8_t *out)
{
    const bool fast = simd::available() && f.outWidth % 16 == 0;
    for (int r = 0; r < f.outHeight; ++r) {
        const uint8_t *in = frame + (static_cast<std::size_t>(r + f.cropY) * f.width + f.cropX) * 2;
        if (fast) {
            simd::rgb555Row(in, f.outWidth, out);
            out += static_cast<std::size_t>(f.outWidth) * 3;
            continue;
        }
        for (int c = 0; c < f.outWidth; ++c, in += 2, out += 3) {
            const unsigned p = in[0] | (in[1] << 8);
            out[0] = static_cast<uint8_t>((p & 31) * 8);
            out[1] = static_cast<uint8_t>(((p >> 5) & 31) * 8);
            out[2] = static_cast<uint8_t>(((p >> 10) & 31) * 8);
        }
    }
}

void convertRgb24(const FrameFormat &f, const uint8_t *frame, uint8_t *out)
{
    const std::size_t span = static_cast<std::size_t>(f.outWidth) * 3;
    for (int r = 0; r < f.outHeight; ++r) {
        const uint8_t *in = frame + (static_cast<std::size_t>(r + f.cropY) * f.width + f.cropX) * 3;
        std::memcpy(out + span * static_cast<std::size_t>(r), in, span);
    }
}

// The stream codec's decoding transform: a component is 0 below 0x10000, else the value limited
// to 0xFFFFFF and shifted right by 16, which is the shifted value clamped to 0..255.
inline uint8_t component(int32_t value)
{
    return static_cast<uint8_t>(std::clamp(value >> 16, 0, 255));
}

// YUV12 and YVU9 differ in the chroma block size (2 or 4 pixels a side) and in where the two
// computed colours go: YUV12 keeps red in byte 2, YVU9 stores red in byte 0 and blue in byte 2.
// In both the first chroma plane is taken as the blue difference. Source rows are top-down, so
// picture row r is converted-frame row r, which is source row height - 1 - r. Every crop starts
// on a chroma block, so each run of Block pixels shares one pair of chroma samples.
template <int Block, bool RedFirst>
void convertPlanar(const FrameFormat &f, const uint8_t *frame, uint8_t *out)
{
    const ProductTables &t = productTables();
    const std::size_t lumaBytes = static_cast<std::size_t>(f.width) * f.height;
    const int chromaWidth = f.width / Block;
    const uint8_t *bluePlane = frame + lumaBytes;
    const uint8_t *redPlane = bluePlane + lumaBytes / (Block * Block);
    // The fast rows take each chroma row's parts once, for the Block rows that share it.
    constexpr int kMostRuns = 640 / Block;
    const bool fast = simd::available() && f.outWidth % 16 == 0 && f.outWidth <= 640;
    int32_t redParts[kMostRuns], greenParts[kMostRuns], blueParts[kMostRuns];
    const int32_t *const parts[3] = {redParts, greenParts, blueParts};
    int partsRow = -1;
    for (int r = 0; r < f.outHeight; ++r) {
        const int source = f.height - 1 - (r + f.cropY);
        const uint8_t *luma = frame + static_cast<std::size_t>(source) * f.width + f.cropX;
        const std::size_t chromaRow =
            static_cast<std::size_t>(source / Block) * chromaWidth + f.cropX / Block;
        const uint8_t *blue = bluePlane + chromaRow;
        const uint8_t *red = redPlane + chromaRow;
        if (fast) {
            if (source / Block != partsRow) {
                partsRow = source / Block;
                const int runs = f.outWidth / Block;
                for (int run = 0; run < runs; ++run) {
                    // The fast row's layout: with runs of 2, even runs first, then odd ones.
                    const int at = Block == 2 ? run / 2 + (run % 2) * (runs / 2) : run;
                    redParts[at] = t.vr[red[run]];
                    greenParts[at] = t.vg[red[run]] + t.ug[blue[run]];
                    blueParts[at] = t.ub[blue[run]];
                }
            }
            simd::planarRow(luma, parts, Block, RedFirst, f.outWidth, out);
            out += static_cast<std::size_t>(f.outWidth) * 3;
            continue;
        }
        for (int run = 0; run < f.outWidth / Block; ++run) {
            const int32_t redPart = t.vr[red[run]];
            const int32_t greenPart = t.vg[red[run]] + t.ug[blue[run]];
            const int32_t bluePart = t.ub[blue[run]];
            for (int i = 0; i < Block; ++i, out += 3) {
                const int32_t y = t.yd[*luma++];
                out[RedFirst ? 0 : 2] = component(y + redPart);
                out[1] = component(y + greenPart);
                out[RedFirst ? 2 : 0] = component(y + bluePart);
            }
        }
    }
}

} // namespace

const FrameFormat *frameFormatFor(std::size_t bytes)
{
    const auto *end = std::end(kFormats);
    const auto *it =
        std::lower_bound(std::begin(kFormats), end, bytes,
                         [](const FrameFormat &f, std::size_t n) { return f.bytes < n; });
    return it != end && it->bytes == bytes ? it : nullptr;
}

uint8_t sizeTypeForWidth(int width)
{
    switch (width) {
    case 160:
        return 2;
    case 320:
        return 5;
    case 640:
        return 6;
    default:
        return 0;
    }
}

bool sizeOfSizeType(uint8_t sizeType, int &width, int &height)
{
    switch (sizeType) {
    case 1:
        width = 80, height = 60;
        return true;
    case 2:
        width = 160, height = 120;
        return true;
    case 4:
        width = 240, height = 180;
        return true;
    case 5:
        width = 320, height = 240;
        return true;
    case 6:
        width = 640, height = 480;
        return true;
    default:
        return false;
    }
}

void convertFrame(const FrameFormat &f, const uint8_t *frame, uint8_t *out)
{
    switch (f.layout) {
    case L::Grey4:
        convertGrey4(f, frame, out);
        break;
    case L::Grey6:
        convertGrey6(f, frame, out);
        break;
    case L::Yvu9:
        convertPlanar<4, true>(f, frame, out);
        break;
    case L::Yuv12:
        convertPlanar<2, false>(f, frame, out);
        break;
    case L::Rgb555:
        convertRgb555(f, frame, out);
        break;
    case L::Rgb24:
        convertRgb24(f, frame, out);
        break;
    }
}

} // namespace rxv
