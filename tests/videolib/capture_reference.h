// The capture conversions written out the plain way, as the tests' own expectation: every frame
// is first turned into a whole picture in bitmap order (bottom row first), with the colour
// transform multiplied out, and only then is the centred picture cut out of it.
#pragma once

#include "picture_support.h"

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace captureref
{

using rxvtest::Bytes;

struct Row {
    uint32_t bytes;
    std::string layout; // the scripted camera's name of the layout
    int width, height, cropX, cropY, outWidth, outHeight;
};

// The frames the engine knows.
inline const std::vector<Row> &rows()
{
    static const std::vector<Row> table = {
        {9600, "grey4", 160, 120, 0, 0, 160, 120},
        {19200, "grey8", 160, 120, 0, 0, 160, 120},
        {21600, "yvu9", 160, 120, 0, 0, 160, 120},
        {28512, "yvu9", 176, 144, 8, 12, 160, 120},
        {28800, "yuv12", 160, 120, 0, 0, 160, 120},
        {38016, "yuv12", 176, 144, 8, 12, 160, 120},
        {38400, "grey4", 320, 240, 0, 0, 320, 240},
        {50688, "rgb555", 176, 144, 8, 12, 160, 120},
        {57600, "rgb24", 160, 120, 0, 0, 160, 120},
        {76032, "rgb24", 176, 144, 8, 12, 160, 120},
        {76800, "grey8", 320, 240, 0, 0, 320, 240},
        {82944, "rgb24", 192, 144, 16, 12, 160, 120},
        {86400, "yvu9", 320, 240, 0, 0, 320, 240},
        {114048, "yvu9", 352, 288, 16, 24, 320, 240},
        {115200, "yuv12", 320, 240, 0, 0, 320, 240},
        {152064, "yuv12", 352, 288, 16, 24, 320, 240},
        {153600, "rgb555", 320, 240, 0, 0, 320, 240},
        {202752, "rgb555", 352, 288, 16, 24, 320, 240},
        {230400, "rgb24", 320, 240, 0, 0, 320, 240},
        {304128, "rgb24", 352, 288, 16, 24, 320, 240},
        {331776, "rgb24", 384, 288, 32, 24, 320, 240},
        {460800, "yuv12", 640, 480, 0, 0, 640, 480},
        {614400, "rgb555", 640, 480, 0, 0, 640, 480},
        {921600, "rgb24", 640, 480, 0, 0, 640, 480},
        {1327104, "rgb24", 768, 576, 64, 48, 640, 480},
    };
    return table;
}

inline std::string rowName(const Row &r)
{
    return r.layout + "_" + std::to_string(r.width) + "x" + std::to_string(r.height);
}

// So that a failing case names its frame instead of dumping its bytes.
inline void PrintTo(const Row &r, std::ostream *os)
{
    *os << rowName(r);
}

inline uint8_t transformed(int64_t value)
{
    if (value < 65536) return 0;
    return static_cast<uint8_t>(std::min<int64_t>(value, 0xFFFFFF) / 65536);
}

// One pixel of a planar frame: y with the blue (u) and red (v) differences. The result is
// blue, green, red as stored for YUV12; YVU9 stores the two outer ones the other way round.
inline void planarPixel(int y, int u, int v, bool redFirst, uint8_t *out)
{
    const uint8_t red = transformed(65000LL * y + 104635LL * (v - 128));
    const uint8_t green = transformed(65000LL * y - 53294LL * (v - 128) - 25690LL * (u - 128));
    const uint8_t blue = transformed(65000LL * y + 132278LL * (u - 128));
    out[0] = redFirst ? red : blue;
    out[1] = green;
    out[2] = redFirst ? blue : red;
}

inline Bytes wholePicture(const Row &row, const uint8_t *frame)
{
    const int w = row.width;
    const int h = row.height;
    Bytes full(static_cast<size_t>(w) * h * 3);
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            const size_t i = static_cast<size_t>(r) * w + c;
            uint8_t *px = &full[i * 3];
            if (row.layout == "grey4" || row.layout == "grey8") {
                int level;
                if (row.layout == "grey4") {
                    const int nibble = i % 2 == 0 ? frame[i / 2] >> 4 : frame[i / 2] & 15;
                    level = nibble == 0 ? 0 : 16 - nibble;
                } else {
                    level = 15 - std::min(frame[i] / 4, 15);
                }
                px[0] = px[1] = px[2] = static_cast<uint8_t>(level * 16);
            } else if (row.layout == "rgb555") {
                const int p = frame[2 * i] + 256 * frame[2 * i + 1];
                px[0] = static_cast<uint8_t>((p % 32) * 8);
                px[1] = static_cast<uint8_t>((p / 32 % 32) * 8);
                px[2] = static_cast<uint8_t>((p / 1024 % 32) * 8);
            } else if (row.layout == "rgb24") {
                px[0] = frame[3 * i], px[1] = frame[3 * i + 1], px[2] = frame[3 * i + 2];
            } else { // planar, top row first: bitmap row r is frame row h - 1 - r
                const bool yvu9 = row.layout == "yvu9";
                const int b = yvu9 ? 4 : 2;
                const int top = h - 1 - r;
                const size_t area = static_cast<size_t>(w) * h;
                const size_t k = static_cast<size_t>(top / b) * (w / b) + c / b;
                const int first = frame[area + k];
                const int second = frame[area + area / (b * b) + k];
                planarPixel(frame[static_cast<size_t>(top) * w + c], first, second, yvu9, px);
            }
        }
    }
    return full;
}

// The picture the engine should make of a frame of that row.
inline Bytes convert(const Row &row, const uint8_t *frame)
{
    const Bytes full = wholePicture(row, frame);
    Bytes out;
    for (int r = 0; r < row.outHeight; ++r) {
        const size_t start = (static_cast<size_t>(r + row.cropY) * row.width + row.cropX) * 3;
        out.insert(out.end(), full.begin() + static_cast<long>(start),
                   full.begin() + static_cast<long>(start + static_cast<size_t>(row.outWidth) * 3));
    }
    return out;
}

} // namespace captureref
