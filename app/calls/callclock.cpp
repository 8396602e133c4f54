// The call clock.
#include "callclock.h"

#include <QString>

void CallClock::reset()
{
    m_minutes = 0;
    m_seconds = 0;
    m_on = false;
    emit changed();
}

void CallClock::tick()
{
    m_on = true;
    if (++m_seconds >= 60) {
        m_seconds = 0;
        m_minutes = (m_minutes + 1) % 60;
    }
    emit changed();
}

int CallClock::digit(int i) const
{
    if (!m_on) return -1;
    switch (i) {
    case 0:
        return m_minutes / 10;
    case 1:
        return m_minutes % 10;
    case 2:
        return m_seconds / 10;
    default:
        return m_seconds % 10;
    }
}

QString CallClock::text() const
{
    if (!m_on) return QString();
    return QStringLiteral("%1:%2")
        .arg(m_minutes, 2, 10, QLatin1Char('0'))
        .arg(m_seconds, 2, 10, QLatin1Char('0'));
}
