// Fuzzes QVIDUnCompressStill: any byte string is a JPEG still from a peer. The output buffer is
// exactly the largest picture, so the sanitizer sees any write past it.
#include "rxvlib11.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1000000) return 0;
    static auto *picture = static_cast<uint8_t *>(std::malloc(RXV_MAX_PICTURE_BYTES));
    int16_t width = -1, height = -1;
    const int32_t result =
        QVIDUnCompressStill(data, static_cast<int32_t>(size), &width, &height, picture);
    if (result > 0 &&
        (result > RXV_MAX_PICTURE_BYTES || width < 1 || height < 1 || result != width * height * 3))
        std::abort();
    if (result <= 0 && (width != -1 || height != -1))
        std::abort(); // a failed picture reports no size
    return 0;
}
