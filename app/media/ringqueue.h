// The queues of a call (outgoing chat lines, outgoing speech blocks): a ring of slots with
// 1-based write and read indices. When it is full the oldest waiting entry gives way, so a full
// queue never reads as empty and the newest entries are kept.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

template <typename T, int N> class RingQueue
{
public:
    static constexpr int Slots = N;

    void reset() { m_write = m_read = 1; }
    bool empty() const { return m_write == m_read; }
    int waiting() const { return (m_write - m_read + Slots) % Slots; }
    int writeIndex() const { return m_write; }
    int readIndex() const { return m_read; }

    // The slot the next entry goes into; commit() makes it waiting.
    T &slotToWrite() { return m_items[size_t(m_write - 1)]; }
    void commit()
    {
        m_write = next(m_write);
        if (m_write == m_read) m_read = next(m_read);
    }
    void add(const T &item)
    {
        slotToWrite() = item;
        commit();
    }
    const T &oldest() const { return m_items[size_t(m_read - 1)]; }
    // Entry i (1-based), wherever the indices stand.
    const T &at(int i) const { return m_items[size_t(i - 1)]; }
    void advance()
    {
        if (!empty()) m_read = next(m_read);
    }

private:
    static int next(int i) { return i == Slots ? 1 : i + 1; }

    std::array<T, N> m_items{};
    int m_write = 1;
    int m_read = 1;
};

using TextQueue = RingQueue<QString, 30>;

// One speech block: up to 2,000 bytes and its length.
struct AudioRecord {
    static constexpr int Capacity = 2000;
    std::array<uint8_t, Capacity> bytes{};
    int32_t length = 0;
    qint64 recordedMs = 0; // when its recording ended, on the monotonic clock
};
using AudioQueue = RingQueue<AudioRecord, 60>;
