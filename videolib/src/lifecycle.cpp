// Lifecycle of the engine and the small byte and picture utilities of the program.
#include "engine.h"
#include "frame_ring.h"
#include "rxvlib11.h"
#include "textfont.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace
{

std::unique_ptr<uint8_t[]> pictureBuffer()
{
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[rxv::kPictureBufferBytes]());
}

bool copyArguments(const void *source, int32_t length, void *destination)
{
    return length >= 0 && (length == 0 || (source != nullptr && destination != nullptr));
}

} // namespace

int32_t QVIDInitialize(void *instance)
{
    (void)instance;
    rxv::Engine &e = rxv::engine();
    rxv::buildTables();
    // A camera thread may publish a picture at any time; it sees the buffers under this lock.
    std::lock_guard capture(e.captureLock);
    // A second call keeps the buffers it already has.
    if (!e.captureBuffer) e.captureBuffer = pictureBuffer();
    if (!e.workBuffer) e.workBuffer = pictureBuffer();
    if (!e.streamFrameBuffer) e.streamFrameBuffer = pictureBuffer();
    if (!e.ready()) {
        // Never half ready: every path that needs the buffers sees the engine as not started.
        e.captureBuffer.reset();
        e.workBuffer.reset();
        e.streamFrameBuffer.reset();
        e.captureCapacity = 0;
        return RXV_ERR_NO_MEMORY;
    }
    e.captureCapacity = rxv::kPictureBufferBytes;
    e.convertedSize = 0;
    e.sizeType = 0;
    e.frameNumber = 0;
    e.compressOnCapture = 1;
    e.captureStatus = 0;
    e.imageWidth = e.displayWidth = 320;
    e.imageHeight = e.displayHeight = 240;
    return 0;
}

int32_t QVIDTerminate(void)
{
    rxv::Engine &e = rxv::engine();
    rxv::flushFrameEvents(true);
    std::lock_guard capture(e.captureLock);
    e.captureBuffer.reset();
    e.workBuffer.reset();
    e.streamFrameBuffer.reset();
    e.captureCapacity = 0;
    e.convertedSize = 0;
    e.sizeType = 0;
    e.playbackDrawDib = nullptr;
    e.playbackSurface = nullptr;
    rxv::releaseFont();
    return 0;
}

int32_t QVIDCopyBuffer(const void *source, int32_t length, void *destination)
{
    if (!copyArguments(source, length, destination)) return RXV_ERR_INVALID;
    if (length > 0) std::memmove(destination, source, static_cast<size_t>(length));
    return length;
}

int32_t QVIDLongtoString(const void *source, int32_t length, void *destination)
{
    // Counts above 32,767 (JPEG stills of large pictures) are copied whole, never cut to 16 bits.
    return QVIDCopyBuffer(source, length, destination);
}

int32_t QVIDStringtoLong(const void *source, int32_t length, void *destination, int32_t capacity)
{
    if (capacity < 0) return RXV_ERR_INVALID;
    return QVIDCopyBuffer(source, length < capacity ? length : capacity, destination);
}

int32_t QVIDTextToImage(uint8_t *picture, int16_t *width, int16_t *height, const char *text,
                        int32_t length)
{
    if (length < 0 || width == nullptr || height == nullptr) return 0;
    int w = 0;
    int h = 0;
    if (!rxv::renderText(text, static_cast<size_t>(length), picture, RXV_MAX_PICTURE_BYTES, w, h))
        return 0;
    *width = static_cast<int16_t>(w);
    *height = static_cast<int16_t>(h);
    return 1;
}

int32_t QVIDBurnImage(uint8_t *picture, int32_t width, int32_t height, const uint8_t *overlay,
                      int32_t overlayWidth, int32_t overlayHeight, int32_t x, int32_t y)
{
    if (picture == nullptr || overlay == nullptr || width < 1 || height < 1 || overlayWidth < 1 ||
        overlayHeight < 1)
        return 0;
    // Only the part of the overlay that lies inside the picture is copied.
    const int32_t firstColumn = x < 0 ? -x : 0;
    const int32_t lastColumn = std::min<int64_t>(overlayWidth, int64_t{width} - x);
    if (lastColumn <= firstColumn) return 0;
    const size_t span = static_cast<size_t>(lastColumn - firstColumn) * 3;
    for (int32_t r = 0; r < overlayHeight; ++r) {
        const int64_t row = int64_t{y} + r;
        if (row < 0 || row >= height) continue;
        uint8_t *dst = picture + (static_cast<size_t>(row) * width + (x + firstColumn)) * 3;
        const uint8_t *src = overlay + (static_cast<size_t>(r) * overlayWidth + firstColumn) * 3;
        std::memcpy(dst, src, span);
    }
    return 0;
}

// Reserved entry points of the original interface; the program binds them but they do nothing.
static int32_t reservedEntryPoint()
{
    return 0;
}
int32_t QVID_H323SessionMan(void)
{
    return reservedEntryPoint();
}
int32_t QVID_H263Man(void)
{
    return reservedEntryPoint();
}
int32_t QVID_G723Man(void)
{
    return reservedEntryPoint();
}
