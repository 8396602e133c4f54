// The frame callback with its optional stream coding, and the exports that read what it
// published: QVIDGetFrame, QVIDGetFrameNum, QVIDSetCapStatus.
#include "capture_frame.h"

#include "capture_convert.h"
#include "engine.h"
#include "rxvlib11.h"
#include "stream_frame.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace rxv
{

namespace
{

constexpr uint16_t kLastFrameNumber = 4096;
// The coded buffer holds the stream frame at its start (at most 115,202 bytes for 640 x 480) and,
// for the grey stream types, the coder's input of one grey value per pixel behind it.
constexpr std::size_t kCodedRoom = 262144;
constexpr std::size_t kGreyInputOffset = kCodedRoom;

// Within a stream block, luma byte j carries the samples at (row, column) (2(j/2), 2(j%2)) and
// one row down, one column right.
constexpr int sampleRow(int j)
{
    return (j / 2) * 2;
}
constexpr int sampleCol(int j)
{
    return (j % 2) * 2;
}

// 160 x 120 and 320 x 240 YVU9 frames already are what a colour stream frame holds: 4 x 4
// chroma blocks and luma to be cut to its high nibble. Rows are taken bottom row first, like the
// converted picture, so every stream frame of the camera has the same orientation.
uint32_t encodeYvu9Planes(const FrameFormat &f, const uint8_t *frame, uint8_t *out)
{
    const int w = f.width;
    const int h = f.height;
    const std::size_t area = static_cast<std::size_t>(w) * h;
    const uint8_t *luma = frame;
    const uint8_t *first = frame + area;
    const uint8_t *second = first + area / 16;
    out[0] = static_cast<uint8_t>(kTypeColour);
    out[1] = sizeTypeForWidth(w);
    uint8_t *lumaOut = out + 2;
    uint8_t *blueOut = lumaOut + area / 4;
    uint8_t *redOut = blueOut + area / 16;
    const int across = w / 4;
    const int down = h / 4;
    for (int by = 0; by < down; ++by) {
        for (int bx = 0; bx < across; ++bx) {
            const std::size_t k = static_cast<std::size_t>(by) * across + bx;
            const std::size_t source = static_cast<std::size_t>(down - 1 - by) * across + bx;
            blueOut[k] = first[source];
            redOut[k] = second[source];
            for (int j = 0; j < 4; ++j) {
                const int row = 4 * by + sampleRow(j);
                const int col = 4 * bx + sampleCol(j);
                const uint8_t a = luma[static_cast<std::size_t>(h - 1 - row) * w + col];
                const uint8_t b = luma[static_cast<std::size_t>(h - 2 - row) * w + col + 1];
                lumaOut[4 * k + j] = static_cast<uint8_t>((a & 0xF0) | (b >> 4));
            }
        }
    }
    return static_cast<uint32_t>(area / 4 + area / 8 + 2);
}

// Grey stream frames are coded from one 4-bit grey value per pixel. A grey capture gives
// back exactly its table values (its pixels are value * 16); colour pictures give their luma.
void greyValues(const uint8_t *picture, std::size_t pixels, uint8_t *grey)
{
    for (std::size_t i = 0; i < pixels; ++i, picture += 3)
        grey[i] =
            static_cast<uint8_t>((29 * picture[0] + 150 * picture[1] + 77 * picture[2]) >> 12);
}

// Codes the converted picture as a stream frame of the current compression type into
// scratch.coded; returns its length, 0 when there is no stream type to code with.
uint32_t compressFrame(const FrameFormat &f, const uint8_t *frame, CaptureScratch &scratch)
{
    if (!scratch.coded) {
        scratch.coded.reset(new (std::nothrow) uint8_t[kPictureBufferBytes]);
        if (!scratch.coded) return 0;
    }
    uint8_t *out = scratch.coded.get();
    const int sizeCode = sizeTypeForWidth(f.outWidth); // size types and stream codes agree here
    const int type = engine().compType;
    int32_t n = 0;
    if (type == kTypeColour) {
        if (f.layout == FrameLayout::Yvu9 && f.width == f.outWidth)
            return encodeYvu9Planes(f, frame, out);
        n = encodeStreamFrame(scratch.picture.get(), sizeCode, type, out, kCodedRoom);
    } else if (type == kTypeGrey || type == kTypeGreyAlt) {
        uint8_t *grey = out + kGreyInputOffset;
        greyValues(scratch.picture.get(), static_cast<std::size_t>(f.outWidth) * f.outHeight, grey);
        n = encodeStreamFrame(grey, sizeCode, type, out, kCodedRoom);
    }
    // Any other type writes no stream frame (the coder would only hand back the type itself).
    return n > 2 ? static_cast<uint32_t>(n) : 0;
}

// Publishes `bytes` bytes of `result` (none: nothing usable) and advances the frame number.
// With `swap`, result is the scratch picture, which changes places with the capture buffer (both
// hold kPictureBufferBytes); otherwise it is copied. Returns where the picture now is.
const uint8_t *publish(const uint8_t *result, uint32_t bytes, uint8_t sizeType,
                       CaptureScratch *swap = nullptr)
{
    Engine &e = engine();
    std::lock_guard lock(e.captureLock);
    if (!e.captureBuffer) return result; // the engine is not started: there is nowhere to put it
    if (bytes > 0) {
        if (swap) {
            std::swap(e.captureBuffer, swap->picture);
            result = e.captureBuffer.get();
        } else {
            std::memcpy(e.captureBuffer.get(), result, bytes);
        }
        e.sizeType = sizeType;
    }
    e.convertedSize = bytes;
    e.frameNumber = e.frameNumber >= kLastFrameNumber ? 0 : e.frameNumber + 1;
    return result;
}

} // namespace

bool CaptureScratch::allocate()
{
    if (!picture) picture.reset(new (std::nothrow) uint8_t[kPictureBufferBytes]);
    return picture != nullptr;
}

CapturedPicture captureFrame(CaptureScratch &scratch, const uint8_t *frame, std::size_t bytesUsed,
                             const std::function<void(const CapturedPicture &)> &converted)
{
    if (frame == nullptr || bytesUsed == 0) return {};
    const FrameFormat *f = frameFormatFor(bytesUsed);
    if (f == nullptr || !scratch.allocate()) {
        publish(nullptr, 0, 0);
        return {};
    }
    Engine &e = engine();
    if (f->compType >= 0) e.compType = f->compType;
    convertFrame(*f, frame, scratch.picture.get());
    CapturedPicture picture{scratch.picture.get(), f->outWidth, f->outHeight};
    if (converted) converted(picture);
    const uint8_t sizeType = sizeTypeForWidth(f->outWidth);
    if (e.compressOnCapture != 0) {
        // The coder may allocate the coded buffer: ask for it only afterwards.
        const uint32_t coded = compressFrame(*f, frame, scratch);
        publish(scratch.coded.get(), coded, sizeType);
    } else {
        picture.pixels =
            publish(picture.pixels, static_cast<uint32_t>(f->outWidth) * f->outHeight * 3, sizeType,
                    &scratch);
    }
    return picture;
}

} // namespace rxv

int32_t QVIDGetFrame(uint8_t *picture, int32_t capacity, int16_t *width, int16_t *height)
{
    rxv::Engine &e = rxv::engine();
    std::lock_guard lock(e.captureLock);
    int w = 0;
    int h = 0;
    if (e.captureBuffer && e.convertedSize > 0) rxv::sizeOfSizeType(e.sizeType, w, h);
    if (width) *width = static_cast<int16_t>(w);
    if (height) *height = static_cast<int16_t>(h);
    if (!e.captureBuffer || picture == nullptr || capacity <= 0) return 0;
    const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(capacity), e.convertedSize);
    if (n > 0) std::memcpy(picture, e.captureBuffer.get(), n);
    return static_cast<int32_t>(n);
}

int32_t QVIDGetFrameNum(void)
{
    rxv::Engine &e = rxv::engine();
    std::lock_guard lock(e.captureLock);
    return e.frameNumber;
}

int32_t QVIDSetCapStatus(int16_t status)
{
    rxv::engine().captureStatus = status;
    return 0;
}
