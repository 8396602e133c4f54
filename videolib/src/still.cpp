// Exports of the still-picture path: JPEG coding in memory and in files, reduction by an integer
// factor, the vertical flip, and the two switches of the capture coder.
#include "engine.h"
#include "jpeg_codec.h"
#include "rxvlib11.h"

#include <cstdio>
#include <cstring>

namespace
{

int32_t decodedResult(rxv_jpeg_status status, int width, int height, int16_t *widthOut,
                      int16_t *heightOut)
{
    switch (status) {
    case RXV_JPEG_OK:
        if (widthOut) *widthOut = static_cast<int16_t>(width);
        if (heightOut) *heightOut = static_cast<int16_t>(height);
        return width * height * 3;
    case RXV_JPEG_TOO_LARGE:
        return RXV_ERR_TOO_LARGE;
    case RXV_JPEG_BAD_ARGUMENT:
        return RXV_ERR_INVALID;
    default:
        return RXV_ERR_BAD_DATA;
    }
}

} // namespace

int32_t QVIDCompressStill(const uint8_t *picture, int16_t width, int16_t height, int16_t quality,
                          uint8_t *output, int32_t capacity)
{
    if (width < 1 || height < 1 || picture == nullptr || output == nullptr || capacity < 0)
        return RXV_ERR_INVALID;
    size_t written = 0;
    switch (rxv_jpeg_compress_memory(picture, width, height, quality, output,
                                     static_cast<size_t>(capacity), &written)) {
    case RXV_JPEG_OK:
        return static_cast<int32_t>(written);
    case RXV_JPEG_OVERFLOW:
        return RXV_ERR_NO_ROOM;
    case RXV_JPEG_BAD_ARGUMENT:
        return RXV_ERR_INVALID;
    default:
        return RXV_ERR_CODER;
    }
}

int32_t QVIDUnCompressStill(const uint8_t *jpeg, int32_t length, int16_t *width, int16_t *height,
                            uint8_t *picture)
{
    if (length < 0) return RXV_ERR_INVALID;
    int w = 0;
    int h = 0;
    const rxv_jpeg_status status = rxv_jpeg_decompress_memory(
        jpeg, static_cast<size_t>(length), picture, RXV_MAX_PICTURE_BYTES, &w, &h);
    return decodedResult(status, w, h, width, height);
}

int32_t QVIDCompressStillFile(const uint8_t *picture, int16_t width, int16_t height,
                              int16_t quality, const char *fileName)
{
    if (width < 1 || height < 1 || picture == nullptr || fileName == nullptr)
        return RXV_ERR_INVALID;
    std::FILE *file = std::fopen(fileName, "wb");
    if (file == nullptr) return RXV_ERR_FILE;
    const rxv_jpeg_status status = rxv_jpeg_compress_file(picture, width, height, quality, file);
    const bool closed = std::fclose(file) == 0;
    if (status != RXV_JPEG_OK || !closed) {
        std::remove(fileName); // a half-written JPEG would only mislead whoever opens it
        return RXV_ERR_FILE;
    }
    return 0;
}

int32_t QVIDUnCompressStillFile(const char *fileName, int16_t *width, int16_t *height,
                                uint8_t *picture)
{
    if (fileName == nullptr) return RXV_ERR_INVALID;
    std::FILE *file = std::fopen(fileName, "rb");
    if (file == nullptr) return RXV_ERR_FILE;
    int w = 0;
    int h = 0;
    const rxv_jpeg_status status =
        rxv_jpeg_decompress_file(file, picture, RXV_MAX_PICTURE_BYTES, &w, &h);
    std::fclose(file);
    return decodedResult(status, w, h, width, height);
}

int32_t QVIDDownSampleImg(const uint8_t *source, int32_t sourceWidth, int32_t sourceHeight,
                          uint8_t *destination, int32_t destinationWidth, int32_t destinationHeight)
{
    if (source == nullptr || destination == nullptr || sourceWidth < 1 || sourceHeight < 1 ||
        destinationWidth < 1 || destinationHeight < 1)
        return RXV_ERR_INVALID;
    const size_t step = static_cast<size_t>(sourceWidth / destinationWidth);
    const size_t rowStep = static_cast<size_t>(sourceHeight / destinationHeight);
    const size_t sourceRow = static_cast<size_t>(sourceWidth) * 3;
    uint8_t *out = destination;
    // Reading runs ahead of writing when reducing, so the same buffer may be both ends; memmove
    // keeps a pixel that overlaps itself intact.
    for (int32_t y = 0; y < destinationHeight; ++y) {
        const uint8_t *in = source + sourceRow * rowStep * static_cast<size_t>(y);
        for (int32_t x = 0; x < destinationWidth; ++x) {
            std::memmove(out, in + step * 3 * static_cast<size_t>(x), 3);
            out += 3;
        }
    }
    return destinationWidth * destinationHeight * 3;
}

int32_t QVIDInvertFrame(uint8_t *picture, int32_t width, int32_t height)
{
    if (picture == nullptr || width < 1 || height < 2) return 0;
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    for (int32_t i = 0; i < height / 2; ++i) {
        uint8_t *a = picture + rowBytes * static_cast<size_t>(i);
        uint8_t *b = picture + rowBytes * static_cast<size_t>(height - 1 - i);
        for (size_t p = 0; p < rowBytes; p += 3) {
            const uint8_t a0 = a[p], a1 = a[p + 1], a2 = a[p + 2];
            a[p] = b[p + 2];
            a[p + 1] = b[p + 1];
            a[p + 2] = b[p];
            b[p] = a2;
            b[p + 1] = a1;
            b[p + 2] = a0;
        }
    }
    return 0;
}

int32_t QVIDSetCompType(int16_t type)
{
    rxv::engine().compType = type;
    return 0;
}

int32_t QVIDSetCompOnFrame(int16_t flag)
{
    rxv::engine().compressOnCapture = flag;
    return 0;
}
