// Process-wide state of the video engine: its buffers, switches, display sizes and the
// precomputed tables, created by QVIDInitialize and released by QVIDTerminate.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "rxvlib11.h"

namespace rxv
{

// Size of each of the engine's three picture buffers (one 640 x 480 picture).
inline constexpr std::size_t kPictureBufferBytes = 921600;

// The products of the stream-frame colour transforms, one table per coefficient, indexed by the
// byte value. Encoding tables multiply i, the decoding chroma tables multiply (i - 128).
// The decoding transform's luma factor (ProductTables::yd).
constexpr int32_t kLumaScale = 65000;

struct ProductTables {
    int32_t y0[256]; // 16829 * i
    int32_t y1[256]; // 33039 * i
    int32_t y2[256]; // 6416 * i
    int32_t u0[256]; // -4853 * i
    int32_t u1[256]; // -9530 * i
    int32_t u2[256]; // 14383 * i
    int32_t v0[256]; // 14386 * i
    int32_t v1[256]; // -12046 * i
    int32_t v2[256]; // -2340 * i
    int32_t yd[256]; // 65000 * i
    int32_t vr[256]; // 104635 * (i - 128)
    int32_t vg[256]; // -53294 * (i - 128)
    int32_t ug[256]; // -25690 * (i - 128)
    int32_t ub[256]; // 132278 * (i - 128)
};

struct GreyTables {
    uint8_t grey4[16]; // 4-bit capture values: 0 -> 0, v -> 16 - v
    uint8_t grey6[16]; // 6-bit capture values shifted right by 2: i -> 15 - i
};

struct Engine {
    // Null until QVIDInitialize succeeds; every path that needs them checks ready().
    std::unique_ptr<uint8_t[]> captureBuffer;
    std::unique_ptr<uint8_t[]> workBuffer;
    std::unique_ptr<uint8_t[]> streamFrameBuffer;
    std::size_t captureCapacity = 0;

    // The capture buffer's picture and its description are written by camera threads and read
    // by the program's thread: captureBuffer's contents, convertedSize, sizeType and frameNumber
    // change only under captureLock (QVIDInitialize and QVIDTerminate included).
    std::mutex captureLock;
    uint32_t convertedSize = 0; // bytes of the last converted picture; 0 = nothing usable
    uint8_t sizeType = 0;       // 2 = 160 x 120, 5 = 320 x 240, 6 = 640 x 480; 0 = none yet
    uint16_t frameNumber = 0;

    // Switches set by the program and read by camera threads.
    std::atomic<int16_t> compressOnCapture = 0;
    std::atomic<int16_t> captureStatus = 0;
    std::atomic<int16_t> compType = 0; // 0 until QVIDSetCompType, even across QVIDInitialize

    int16_t imageWidth = 320;
    int16_t imageHeight = 240;
    int16_t displayWidth = 320;
    int16_t displayHeight = 240;

    // Where "KJP" pictures are drawn (QVIDInitPlaybackEngine); the caller owns both.
    RXVDrawDib *playbackDrawDib = nullptr;
    RXVDrawSurface *playbackSurface = nullptr;

    bool ready() const { return workBuffer && streamFrameBuffer && captureBuffer; }
};

Engine &engine();
const ProductTables &productTables();
const GreyTables &greyTables();

// Fills the tables; cheap and idempotent, so QVIDInitialize simply calls it again.
void buildTables();

// The system millisecond clock (wraps after about 49 days, as a 32-bit count of milliseconds).
uint32_t milliseconds();

} // namespace rxv
