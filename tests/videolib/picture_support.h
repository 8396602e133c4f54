// Test pictures and measures shared by the video engine tests: natural-looking pictures made
// here (no files from elsewhere), PSNR, and a drawing surface that records what it is handed.
#pragma once

#include "rxvlib11.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace rxvtest
{

using Bytes = std::vector<uint8_t>;

inline uint32_t hash(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    return x ^ (x >> 16);
}

// A room as a camera sees it: smooth lighting, a patterned wall, a shelf of many small objects
// with hard edges, a shaded face-like disc, a dark door, and sensor grain. The mix gives JPEG
// streams of the sizes a webcam gives (about 8-12 KB at 320 x 240, quality 30). phase moves
// the scene.
inline Bytes naturalPicture(int width, int height, int phase = 0)
{
    Bytes p(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width;
            const double v = static_cast<double>(y) / height;
            double r = 90 + 80 * u + 30 * std::sin(6.0 * v + phase * 0.1);
            double g = 70 + 90 * v + 20 * std::cos(5.0 * u);
            double b = 120 + 60 * std::sin(3.0 * (u + v));
            if (v > 0.6) { // wallpaper
                const double w = 25 * std::sin(u * 180) * std::sin(v * 140);
                r += w, g += w * 0.8, b -= w * 0.5;
            }
            if (u < 0.5 && v < 0.35) { // shelf: cells of 1/40 x 1/12 of the picture
                const uint32_t cell =
                    hash(static_cast<uint32_t>(u * 40) * 131 + static_cast<uint32_t>(v * 12) + 7);
                r = 40 + (cell & 0xBF), g = 40 + ((cell >> 8) & 0xBF),
                b = 40 + ((cell >> 16) & 0xBF);
            }
            const double dx = u - 0.35 - 0.01 * phase, dy = v - 0.55;
            if (dx * dx + dy * dy < 0.04) { // face
                const double shade = 1.0 - 2.0 * (dx * dx + dy * dy) / 0.04 * 0.3;
                r = (200 - 60 * v) * shade, g = (150 - 40 * v) * shade, b = (120 - 30 * v) * shade;
            }
            if (u > 0.7 && u < 0.9 && v > 0.2 && v < 0.8) { // door
                r *= 0.5, g *= 0.45, b *= 0.4;
            }
            const uint32_t grain = hash(static_cast<uint32_t>(y * 7919 + x) ^ (phase * 104729u));
            const double n = static_cast<double>(grain % 13) - 6.0;
            uint8_t *px = &p[(static_cast<size_t>(y) * width + x) * 3];
            px[0] = static_cast<uint8_t>(std::clamp(b + n, 0.0, 255.0));
            px[1] = static_cast<uint8_t>(std::clamp(g + n, 0.0, 255.0));
            px[2] = static_cast<uint8_t>(std::clamp(r + n, 0.0, 255.0));
        }
    }
    return p;
}

inline double psnr(const uint8_t *a, const uint8_t *b, size_t n)
{
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        sum += d * d;
    }
    if (sum == 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(n) / sum);
}

struct DrawCall {
    int32_t width, height, dstX, dstY, dstWidth, dstHeight;
    Bytes picture;
};

// A drawing surface that keeps a copy of every picture it is asked to draw.
struct RecordingSurface {
    RXVDrawSurface surface{sizeof(RXVDrawSurface), this, &RecordingSurface::draw};
    std::vector<DrawCall> calls;

    static void draw(RXVDrawSurface *s, const uint8_t *bits, int32_t width, int32_t height,
                     int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight)
    {
        auto *self = static_cast<RecordingSurface *>(s->user);
        self->calls.push_back({width, height, dstX, dstY, dstWidth, dstHeight,
                               Bytes(bits, bits + static_cast<size_t>(width) * height * 3)});
    }
};

// A media packet: tag, the length field as given, payload.
inline Bytes packet(const char *tag, const char *lengthField, const Bytes &payload)
{
    Bytes p(8 + payload.size());
    std::memcpy(p.data(), tag, 3);
    std::memcpy(p.data() + 3, lengthField, 5);
    if (!payload.empty()) std::memcpy(p.data() + 8, payload.data(), payload.size());
    return p;
}

inline Bytes packet(const char *tag, const Bytes &payload)
{
    char field[8];
    std::snprintf(field, sizeof field, "%05zu", payload.size() % 100000);
    return packet(tag, field, payload);
}

} // namespace rxvtest
