// The outgoing chat lines of a call: a ring of 30 slots with 1-based write and read indices.
// When it is full the oldest waiting line gives way, so a full queue never reads as empty.
#pragma once

#include <QString>
#include <array>

class TextQueue
{
public:
    static constexpr int Slots = 30;

    void reset() { m_write = m_read = 1; }
    bool empty() const { return m_write == m_read; }
    int waiting() const { return (m_write - m_read + Slots) % Slots; }
    int writeIndex() const { return m_write; }
    int readIndex() const { return m_read; }

    void add(const QString &line)
    {
        m_lines[size_t(m_write - 1)] = line;
        m_write = next(m_write);
        if (m_write == m_read) m_read = next(m_read);
    }
    const QString &oldest() const { return m_lines[size_t(m_read - 1)]; }
    void advance()
    {
        if (!empty()) m_read = next(m_read);
    }

private:
    static int next(int i) { return i == Slots ? 1 : i + 1; }

    std::array<QString, Slots> m_lines;
    int m_write = 1;
    int m_read = 1;
};
