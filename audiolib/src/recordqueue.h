// recordqueue.h - the recorded-buffer queue: 25 slots of up to 1,600 bytes, first in first
// out. When it is full, newly recorded buffers are dropped and the waiting ones are kept.
// Not locked itself: the engine guards it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ovela::audio
{

class RecordQueue
{
public:
    static constexpr int kSlots = 25;
    static constexpr size_t kBufferBytes = 1600;

    // False (and nothing stored) when the queue is full or the buffer is empty.
    bool push(const uint8_t *data, size_t length)
    {
        if (m_count == kSlots || length == 0) return false;
        Slot &slot = m_slots[(m_head + m_count) % kSlots];
        slot.length = static_cast<uint16_t>(std::min(length, kBufferBytes));
        std::memcpy(slot.bytes.data(), data, slot.length);
        ++m_count;
        return true;
    }
    // Copies the oldest buffer out and returns its length; 0 when none waits.
    size_t pop(uint8_t *destination)
    {
        if (m_count == 0) return 0;
        const Slot &slot = m_slots[m_head];
        std::memcpy(destination, slot.bytes.data(), slot.length);
        m_head = (m_head + 1) % kSlots;
        --m_count;
        return slot.length;
    }
    int count() const { return m_count; }
    void clear()
    {
        m_head = 0;
        m_count = 0;
    }

private:
    struct Slot {
        std::array<uint8_t, kBufferBytes + 2> bytes;
        uint16_t length = 0;
    };
    std::array<Slot, kSlots> m_slots{};
    int m_head = 0;
    int m_count = 0;
};

} // namespace ovela::audio
