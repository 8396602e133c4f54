// The frame event ring: 20 time-stamped slots of decoded stream pictures waiting to be shown.
#pragma once

#include <cstdint>
#include <memory>

namespace rxv
{

inline constexpr int kRingSlots = 20;

struct FrameEvent {
    uint32_t due = 0;
    int16_t kind = 0;
    int16_t width = 0;
    std::unique_ptr<uint8_t[]> picture; // null when the slot holds no picture
};

// Reserves the slot at the write index (see QVIDAddDataEvent) and returns its index, or the
// export's RXV_ERR_RING_FULL, RXV_ERR_INVALID or RXV_ERR_NO_MEMORY.
int32_t addFrameEvent(int32_t kind, const void *source, int32_t length, int32_t delay);
FrameEvent &frameEvent(int slot);
// Releases every pending picture; with resetIndices both indices go back to 0.
void flushFrameEvents(bool resetIndices);

} // namespace rxv
