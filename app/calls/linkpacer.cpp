// Pacing a call's pictures.
#include "linkpacer.h"

#include <algorithm>

void LinkPacer::reset()
{
    *this = LinkPacer{};
}

void LinkPacer::setMaximumDrop(int steps)
{
    m_maximumDrop = std::max(0, steps);
    m_drop = std::min(m_drop, m_maximumDrop);
}

void LinkPacer::observe(qint64 waiting, int ms, bool talking)
{
    // Only what was sent at the ticks is added, so a link that still holds bytes now was busy
    // the whole time: what it carried meanwhile is its rate.
    if (waiting > 0 && ms > 0) {
        const qint64 carried = m_waiting + m_sentSince - waiting;
        const double sample = std::max<qint64>(carried, 0) * 1000.0 / ms;
        m_rate = m_rate > 0 ? 0.75 * m_rate + 0.25 * sample : sample;
    }
    m_waiting = waiting;
    m_sentSince = 0;

    m_allowed = waiting <= std::max(m_lastPicture / 2, MinimumAllowance);
    if (talking && m_rate > 0 && m_lastPicture * 1000.0 / m_rate > TalkDelayMs) m_allowed = false;
    if (!m_allowed) {
        ++m_heldBack;
        m_heldThisSecond = true;
    }

    m_secondMs += ms;
    if (m_secondMs < 1000) return;
    m_secondMs = 0;
    if (m_heldThisSecond) {
        m_clearSeconds = 0;
        m_drop = std::min(m_drop + 1, m_maximumDrop);
    } else if (++m_clearSeconds >= 3) {
        m_clearSeconds = 0;
        m_drop = std::max(m_drop - 1, 0);
    }
    m_heldThisSecond = false;
}

void LinkPacer::sent(qint64 bytes, bool picture)
{
    m_sentSince += bytes;
    if (picture) m_lastPicture = bytes;
}
