// Splits a byte stream into lines at a terminator, with a bounded buffer: a line that grows past
// the limit without its terminator is handed on as a chunk flagged as incomplete, so a peer can
// never make us hold more than `limit` bytes per connection.
#pragma once

#include <QByteArray>
#include <algorithm>
#include <vector>

struct LinePiece {
    QByteArray text;
    bool endOfLine = false; // true: a whole line (terminator removed); false: a chunk
};

class LineSplitter
{
public:
    static constexpr qsizetype DefaultLimit = 256 * 1024;

    explicit LineSplitter(qsizetype limit = DefaultLimit) : m_limit(limit) {}

    void setTerminator(const QByteArray &eol);
    const QByteArray &terminator() const { return m_eol; }
    qsizetype buffered() const { return m_buffer.size(); }
    void clear() { m_buffer.clear(); }

    // Takes newly arrived bytes and returns what is ready to be delivered, in order.
    std::vector<LinePiece> feed(const QByteArray &data);

private:
    QByteArray m_eol;
    QByteArray m_buffer;
    qsizetype m_limit;
};
