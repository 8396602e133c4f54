// Fuzzes the frame callback with frames of every recognised size and of any other size, with
// compression on capture off and on under each stream type. The first input byte chooses the
// frame size (a known one, or the input's own length) and the coding; the rest is the frame,
// repeated or cut to that size. Frames live in buffers of exactly their size, so the sanitizer
// sees any read past them.
#include "capture_frame.h"
#include "rxvlib11.h"

#include <cstdlib>
#include <vector>

namespace
{

const size_t kSizes[] = {9600,   19200,  21600,  28512,  28800,  38016,  38400,  50688,  57600,
                         76032,  76800,  82944,  86400,  114048, 115200, 152064, 153600, 202752,
                         230400, 304128, 331776, 460800, 614400, 921600, 1327104};
const int16_t kTypes[] = {0, 6, 7, 9};

rxv::CaptureScratch g_scratch;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (QVIDInitialize(nullptr) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    const size_t choice = mode % 32;
    const size_t bytes = choice < std::size(kSizes) ? kSizes[choice] : size;
    std::vector<uint8_t> frame(bytes);
    for (size_t i = 0; i < bytes; ++i)
        frame[i] = data[i % size];
    QVIDSetCompOnFrame(static_cast<int16_t>((mode >> 5) & 1));
    QVIDSetCompType(kTypes[(mode >> 6) & 3]);
    rxv::captureFrame(g_scratch, frame.data(), frame.size());
    std::vector<uint8_t> picture(RXV_MAX_PICTURE_BYTES);
    int16_t width = 0;
    int16_t height = 0;
    const int32_t n = QVIDGetFrame(picture.data(), RXV_MAX_PICTURE_BYTES, &width, &height);
    if (n < 0 || n > RXV_MAX_PICTURE_BYTES) std::abort();
    if (n > 0 && !(mode & 0x20) && n != width * height * 3) std::abort();
    return 0;
}
