// Line framing shared by the endpoints and the directory server.
#include "linesplitter.h"

void LineSplitter::setTerminator(const QByteArray &eol)
{
    m_eol = eol;
}

std::vector<LinePiece> LineSplitter::feed(const QByteArray &data)
{
    std::vector<LinePiece> out;
    if (m_eol.isEmpty()) {
        // Without a terminator every arrival is one message, cut at the limit.
        for (qsizetype pos = 0; pos < data.size(); pos += m_limit)
            out.push_back({data.mid(pos, m_limit), false});
        return out;
    }

    // Only the part that may hold a new terminator is searched again.
    qsizetype from = std::max<qsizetype>(0, m_buffer.size() - (m_eol.size() - 1));
    m_buffer.append(data);
    qsizetype start = 0;
    for (;;) {
        const qsizetype at = m_buffer.indexOf(m_eol, std::max(start, from));
        if (at < 0) break;
        out.push_back({m_buffer.mid(start, at - start), true});
        start = at + m_eol.size();
        from = start;
    }
    if (start > 0) m_buffer.remove(0, start);

    // Past the limit, hand on all but the bytes that could begin a split terminator.
    while (m_buffer.size() > m_limit) {
        const qsizetype keep = m_eol.size() - 1;
        const qsizetype take = std::min(m_limit, m_buffer.size() - keep);
        out.push_back({m_buffer.left(take), false});
        m_buffer.remove(0, take);
    }
    return out;
}
