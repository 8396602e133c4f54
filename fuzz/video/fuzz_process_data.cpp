// Fuzzes QVIDProcessData with packets of every tag. The first input byte chooses the tag (or
// keeps the input's own), whether the length field tells the truth, the payload capacity and
// when the frame event ring is flushed; the rest is the packet. Buffers are sized exactly, so
// the sanitizer sees any access outside them.
#include "rxvlib11.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

const char *const kTags[] = {"AUD", "DT1", "DT2", "DT3", "DT4", "TXT", "VID", "KEN", "DEN", "KJP"};
const int32_t kCapacities[] = {29000, 0, 7, 64000};

// Reads every byte it is handed, so a picture described larger than it is shows up.
void checkDraw(RXVDrawSurface *, const uint8_t *bits, int32_t width, int32_t height, int32_t,
               int32_t, int32_t dstWidth, int32_t dstHeight)
{
    if (width < 1 || height < 1 || dstWidth < 1 || dstHeight < 1 ||
        static_cast<size_t>(width) * height * 3 > RXV_MAX_PICTURE_BYTES)
        std::abort();
    unsigned sum = 0;
    for (size_t i = 0; i < static_cast<size_t>(width) * height * 3; ++i)
        sum += bits[i];
    volatile unsigned sink = sum;
    (void)sink;
}

RXVDrawSurface g_surface{sizeof(RXVDrawSurface), nullptr, checkDraw};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (QVIDInitialize(nullptr) != 0) std::abort();
    RXVDrawDib *drawDib = QVIDDrawDibOpen();
    QVIDDrawDibBegin(drawDib, &g_surface, 320, 240, 320, 240, 24);
    QVIDInitPlaybackEngine(drawDib, &g_surface);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    std::vector<uint8_t> bytes(data, data + size);
    const unsigned tag = mode & 0x0F;
    if (tag < 10 && bytes.size() >= 3) std::memcpy(bytes.data(), kTags[tag], 3);
    if ((mode & 0x80) && bytes.size() >= 8) { // a length field that tells the truth
        char field[8];
        std::snprintf(field, sizeof field, "%05zu", (bytes.size() - 8) % 100000);
        std::memcpy(bytes.data() + 3, field, 5);
    }
    // Exactly sized copies: nothing may be read past the packet or written past the payload.
    auto *packet = static_cast<uint8_t *>(std::malloc(bytes.size() + 1));
    if (!bytes.empty()) std::memcpy(packet, bytes.data(), bytes.size());
    const int32_t capacity = kCapacities[(mode >> 4) & 3];
    auto *payload = static_cast<uint8_t *>(std::malloc(static_cast<size_t>(capacity) + 1));
    int16_t kind = -1;
    const int32_t result =
        QVIDProcessData(packet, static_cast<int32_t>(bytes.size()), payload, capacity, &kind);
    if (kind < RXV_KIND_UNKNOWN || kind > RXV_KIND_DATA4) std::abort();
    if (kind > RXV_KIND_PICTURE && (result < 0 || result > capacity)) std::abort();
    std::free(payload);
    std::free(packet);

    int16_t writeIndex = 0, readIndex = 0;
    QVIDGetTimeInfo(nullptr, nullptr, &writeIndex, &readIndex);
    if ((mode & 0x40) || (writeIndex + 1) % RXV_RING_SLOTS == readIndex) QVIDFlushEvents();
    return 0;
}
