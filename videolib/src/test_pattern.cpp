// The test pattern: its scene, its byte layouts, and the exports that hand it out and read its
// frame number back. Integer arithmetic only, so every machine makes the same bytes.
#include "test_pattern.h"

#include "rxvlib11.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace rxv
{

namespace
{

constexpr int kMaxSide = 2048;
constexpr int kBandCells = 10;
constexpr uint32_t kFourccI420 = 0x30323449; // "I420" as the little-endian 32-bit code
constexpr uint32_t kFourccYvu9 = 0x39555659; // "YVU9"

struct Layout {
    const char *name;
    PatternLayout layout;
    int bits;
    uint32_t compression;
};

constexpr Layout kLayouts[] = {
    {"rgb24", PatternLayout::Rgb24, 24, 0},
    {"rgb555", PatternLayout::Rgb555, 16, 0},
    {"yuv12", PatternLayout::Yuv12, 12, kFourccI420},
    {"yvu9", PatternLayout::Yvu9, 9, kFourccYvu9},
    {"grey8", PatternLayout::Grey8, 8, 0},
    {"grey4", PatternLayout::Grey4, 4, 0},
};

const Layout &describe(PatternLayout layout)
{
    for (const Layout &l : kLayouts)
        if (l.layout == layout) return l;
    return kLayouts[0];
}

// A triangle wave over 1024 steps, 0..255..0, so that scrolling ramps have no seam.
inline int triangle(int t)
{
    t &= 1023;
    return t < 512 ? t / 2 : (1023 - t) / 2;
}

// The scene for frame k (0..255), top row first, as R, G, B bytes. Positions are in 1/1024ths of
// the picture, so every size shows the same scene. The top eighth is the code band: ten cells,
// white, then the frame number's bits from the highest (white = 1), then black. Below it a yellow
// square bounces to and fro over colour ramps that scroll with k, and a still checkerboard with
// sharp edges sits at the bottom right.
void renderScene(int width, int height, int k, std::vector<uint8_t> &scene)
{
    scene.resize(static_cast<std::size_t>(width) * height * 3);
    // Columns and the wave are worked out once per frame, not once per pixel.
    std::vector<int> across(static_cast<std::size_t>(width));
    std::vector<uint8_t> red(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        across[static_cast<std::size_t>(x)] = x * 1024 / width;
        red[static_cast<std::size_t>(x)] = static_cast<uint8_t>(triangle(x * 1024 / width + 8 * k));
    }
    uint8_t wave[1024];
    for (int t = 0; t < 1024; ++t)
        wave[t] = static_cast<uint8_t>(triangle(t));
    const int p = (k * 12) % 1792;
    const int left = p < 896 ? p : 1792 - p;
    const int top = 320 + triangle(k * 16) / 2;
    uint8_t *out = scene.data();
    for (int y = 0; y < height; ++y) {
        const int v = y * 1024 / height;
        if (v < 128) {
            for (int x = 0; x < width; ++x, out += 3) {
                const int cell = across[static_cast<std::size_t>(x)] * kBandCells / 1024;
                const bool white =
                    cell == 0 || (cell < kBandCells - 1 && ((k >> (8 - cell)) & 1) != 0);
                out[0] = out[1] = out[2] = white ? 255 : 0;
            }
            continue;
        }
        const bool squareRow = v >= top && v < top + 192;
        const uint8_t green = static_cast<uint8_t>((v - 128) * 255 / 895);
        const int blueShift = v + 1024 - 4 * k;
        for (int x = 0; x < width; ++x, out += 3) {
            const int u = across[static_cast<std::size_t>(x)];
            if (squareRow && u >= left && u < left + 128) {
                out[0] = 250, out[1] = 220, out[2] = 40;
            } else if (u >= 896 && v >= 896) {
                const uint8_t level = ((u >> 5) + (v >> 5)) % 2 != 0 ? 220 : 30;
                out[0] = out[1] = out[2] = level;
            } else {
                out[0] = red[static_cast<std::size_t>(x)];
                out[1] = green;
                out[2] = wave[(u / 2 + blueShift) & 1023];
            }
        }
    }
}

// Luma and chroma chosen so that the engine's own decoding transform (65000 Y, 104635 and
// 132278 for the colour differences, in 1/65536) gives the scene back.
inline int lumaOf(const uint8_t *rgb)
{
    return std::min(255, (19756 * rgb[0] + 38788 * rgb[1] + 7533 * rgb[2] + 32768) >> 16);
}

template <int B> inline int roundedDivide(int a)
{
    return a >= 0 ? (a + B / 2) / B : -((-a + B / 2) / B);
}

inline uint8_t clampByte(int64_t v)
{
    return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255));
}

// Planar frames, top row first: luma, then the chroma planes (Block x Block pixels per
// sample), the blue difference first unless redFirst. Block is a constant, so the divisions by
// the sample count are multiplications.
template <int Block>
void writePlanar(const std::vector<uint8_t> &scene, int width, int height, bool redFirst,
                 uint8_t *out)
{
    const std::size_t area = static_cast<std::size_t>(width) * height;
    for (std::size_t i = 0; i < area; ++i)
        out[i] = static_cast<uint8_t>(lumaOf(&scene[i * 3]));
    const int across = width / Block;
    const std::size_t chroma = area / (static_cast<std::size_t>(Block) * Block);
    uint8_t *blue = out + area + (redFirst ? chroma : 0);
    uint8_t *red = out + area + (redFirst ? 0 : chroma);
    // The sums stay within 32 bits: at most 16 samples of 65536 * 255.
    constexpr int n = Block * Block;
    for (int by = 0; by < height / Block; ++by)
        for (int bx = 0; bx < across; ++bx) {
            int blueSum = 0;
            int redSum = 0;
            for (int dy = 0; dy < Block; ++dy)
                for (int dx = 0; dx < Block; ++dx) {
                    const std::size_t i =
                        static_cast<std::size_t>(by * Block + dy) * width + bx * Block + dx;
                    const int y = 65000 * int{out[i]};
                    blueSum += 65536 * int{scene[i * 3 + 2]} - y;
                    redSum += 65536 * int{scene[i * 3]} - y;
                }
            const std::size_t k = static_cast<std::size_t>(by) * across + bx;
            blue[k] = clampByte(128 + roundedDivide<n * 132278>(blueSum));
            red[k] = clampByte(128 + roundedDivide<n * 104635>(redSum));
        }
}

// Bottom-up layouts: pixel i of the frame is scene row height - 1 - i / width.
template <class Put>
void writeBottomUp(const std::vector<uint8_t> &scene, int width, int height, Put put)
{
    std::size_t i = 0;
    for (int r = 0; r < height; ++r) {
        const uint8_t *row = &scene[static_cast<std::size_t>(height - 1 - r) * width * 3];
        for (int x = 0; x < width; ++x, ++i)
            put(i, row + 3 * x);
    }
}

// The grey formats' own scales: the capture tables map camera value v to (16 - v) * 16 (4-bit,
// 0 staying black) and (15 - v / 4) * 16 (one byte), so the camera sends what shows grey q.
inline int greyLevel(const uint8_t *rgb)
{
    return ((77 * rgb[0] + 150 * rgb[1] + 29 * rgb[2] + 128) >> 8) >> 4;
}

} // namespace

bool patternLayoutFromName(const char *name, PatternLayout &layout)
{
    if (name == nullptr) return false;
    for (const Layout &l : kLayouts)
        if (std::strcmp(name, l.name) == 0) {
            layout = l.layout;
            return true;
        }
    return false;
}

const char *patternLayoutName(PatternLayout layout)
{
    return describe(layout).name;
}

int patternBits(PatternLayout layout)
{
    return describe(layout).bits;
}

uint32_t patternCompression(PatternLayout layout)
{
    return describe(layout).compression;
}

std::size_t patternFrameBytes(PatternLayout layout, int width, int height)
{
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return 0;
    const std::size_t area = static_cast<std::size_t>(width) * height;
    switch (layout) {
    case PatternLayout::Rgb24:
        return area * 3;
    case PatternLayout::Rgb555:
        return area * 2;
    case PatternLayout::Yuv12:
        return width % 2 == 0 && height % 2 == 0 ? area + area / 2 : 0;
    case PatternLayout::Yvu9:
        return width % 4 == 0 && height % 4 == 0 ? area + area / 8 : 0;
    case PatternLayout::Grey8:
        return area;
    case PatternLayout::Grey4:
        return width % 2 == 0 ? area / 2 : 0;
    }
    return 0;
}

void makePatternFrame(PatternLayout layout, int width, int height, uint32_t frameNumber,
                      uint8_t *out, std::vector<uint8_t> &scene)
{
    renderScene(width, height, static_cast<int>(frameNumber & 255), scene);
    switch (layout) {
    case PatternLayout::Rgb24:
        writeBottomUp(scene, width, height, [out](std::size_t i, const uint8_t *c) {
            out[3 * i] = c[2], out[3 * i + 1] = c[1], out[3 * i + 2] = c[0];
        });
        break;
    case PatternLayout::Rgb555:
        writeBottomUp(scene, width, height, [out](std::size_t i, const uint8_t *c) {
            const unsigned p = ((c[0] >> 3) << 10) | ((c[1] >> 3) << 5) | (c[2] >> 3);
            out[2 * i] = static_cast<uint8_t>(p & 0xFF);
            out[2 * i + 1] = static_cast<uint8_t>(p >> 8);
        });
        break;
    case PatternLayout::Yuv12:
        writePlanar<2>(scene, width, height, false, out);
        break;
    case PatternLayout::Yvu9:
        writePlanar<4>(scene, width, height, true, out);
        break;
    case PatternLayout::Grey8:
        writeBottomUp(scene, width, height, [out](std::size_t i, const uint8_t *c) {
            out[i] = static_cast<uint8_t>((15 - greyLevel(c)) << 2);
        });
        break;
    case PatternLayout::Grey4:
        writeBottomUp(scene, width, height, [out](std::size_t i, const uint8_t *c) {
            const int q = greyLevel(c);
            const uint8_t nibble = static_cast<uint8_t>(q == 0 ? 0 : 16 - q);
            if (i % 2 == 0)
                out[i / 2] = static_cast<uint8_t>(nibble << 4);
            else
                out[i / 2] = static_cast<uint8_t>(out[i / 2] | nibble);
        });
        break;
    }
}

} // namespace rxv

int32_t QVIDTestPattern(const char *format, int32_t width, int32_t height, int32_t frameNumber,
                        uint8_t *frame, int32_t capacity)
{
    rxv::PatternLayout layout;
    if (!rxv::patternLayoutFromName(format, layout)) return RXV_ERR_INVALID;
    const std::size_t bytes = rxv::patternFrameBytes(layout, width, height);
    if (bytes == 0) return RXV_ERR_INVALID;
    if (frame == nullptr || capacity < 0 || static_cast<std::size_t>(capacity) < bytes)
        return RXV_ERR_NO_ROOM;
    std::vector<uint8_t> scene;
    try {
        rxv::makePatternFrame(layout, width, height, static_cast<uint32_t>(frameNumber), frame,
                              scene);
    } catch (const std::bad_alloc &) {
        return RXV_ERR_NO_ROOM; // no room for the scene the frame is drawn from
    }
    return static_cast<int32_t>(bytes);
}

int32_t QVIDTestPatternNumber(const uint8_t *picture, int32_t width, int32_t height)
{
    if (picture == nullptr || width < 20 || height < 16) return RXV_ERR_INVALID;
    // The middle rows of the band (the top eighth as seen; the buffer's last rows).
    const int middle = height / 16;
    const int rows = height / 48;
    const int halfWidth = width / 60;
    int number = 0;
    for (int cell = 0; cell < 10; ++cell) {
        const int centre = (2 * cell + 1) * width / 20;
        long sum = 0;
        long count = 0;
        for (int y = middle - rows; y <= middle + rows; ++y) {
            const uint8_t *row = picture + static_cast<std::size_t>(height - 1 - y) * width * 3;
            for (int x = centre - halfWidth; x <= centre + halfWidth; ++x, ++count)
                sum += row[3 * x] + 2 * row[3 * x + 1] + row[3 * x + 2];
        }
        const bool white = sum / count >= 4 * 128;
        if ((cell == 0 && !white) || (cell == 9 && white)) return RXV_ERR_BAD_DATA; // not the band
        if (cell >= 1 && cell <= 8) number = (number << 1) | (white ? 1 : 0);
    }
    return number;
}
