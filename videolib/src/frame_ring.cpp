// The frame event ring and its exports.
#include "frame_ring.h"

#include "engine.h"
#include "rxvlib11.h"

#include <cstring>
#include <new>

namespace rxv
{

namespace
{

struct Ring {
    FrameEvent slots[kRingSlots];
    int16_t write = 0;
    int16_t read = 0;
};

Ring g_ring;

int16_t nextIndex(int16_t i)
{
    return static_cast<int16_t>((i + 1) % kRingSlots);
}

} // namespace

int32_t addFrameEvent(int32_t kind, const void *source, int32_t length, int32_t delay)
{
    if (nextIndex(g_ring.write) == g_ring.read) return RXV_ERR_RING_FULL;
    if (length < 0 || length > RXV_MAX_PICTURE_BYTES) return RXV_ERR_INVALID;
    std::unique_ptr<uint8_t[]> picture;
    if (length > 0) {
        picture.reset(new (std::nothrow) uint8_t[static_cast<std::size_t>(length)]());
        if (!picture) return RXV_ERR_NO_MEMORY;
        if (source != nullptr) std::memcpy(picture.get(), source, static_cast<std::size_t>(length));
    }
    const int16_t slot = g_ring.write;
    FrameEvent &event = g_ring.slots[slot];
    event.picture = std::move(picture);
    event.kind = static_cast<int16_t>(kind);
    event.width = 0;
    event.due = milliseconds() + static_cast<uint32_t>(delay);
    g_ring.write = nextIndex(slot);
    return slot;
}

FrameEvent &frameEvent(int slot)
{
    return g_ring.slots[slot];
}

void flushFrameEvents(bool resetIndices)
{
    while (g_ring.read != g_ring.write) {
        g_ring.slots[g_ring.read].picture.reset();
        g_ring.read = nextIndex(g_ring.read);
    }
    if (resetIndices) {
        g_ring.read = 0;
        g_ring.write = 0;
    }
}

} // namespace rxv

int32_t QVIDAddDataEvent(int32_t kind, const void *source, int32_t length, int32_t delay)
{
    return rxv::addFrameEvent(kind, source, length, delay);
}

int32_t QVIDFlushEvents(void)
{
    rxv::flushFrameEvents(false);
    return 0;
}

int32_t QVIDGetTimeInfo(uint32_t *now, uint32_t *due, int16_t *writeIndex, int16_t *readIndex)
{
    if (now) *now = rxv::milliseconds();
    if (due) *due = rxv::g_ring.slots[rxv::g_ring.read].due;
    if (writeIndex) *writeIndex = rxv::g_ring.write;
    if (readIndex) *readIndex = rxv::g_ring.read;
    return 0;
}
