// Shared helpers of the program.
#include "qvidutil.h"

#include <time.h>

namespace QVIDUTIL
{

QString numberText(qint64 value)
{
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

QString numberLine(qint64 value)
{
    return numberText(value) + QLatin1Char(' ');
}

QString listKey(int index)
{
    return QStringLiteral("%1A").arg(index, 4, 10, QLatin1Char('0'));
}

int keyIndex(const QString &key)
{
    return val32(key);
}

QString timeOfDayText(const QTime &time)
{
    return QStringLiteral("%1:%2").arg(time.hour()).arg(time.minute(), 2, 10, QLatin1Char('0'));
}

qint64 monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
} // namespace QVIDUTIL
