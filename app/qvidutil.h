// Shared helpers of the program: the fields of protocol lines and the numeric value of a text
// (from the protocol library), number texts as the files hold them, list keys, the time of day as
// calls announce it, and the machine's monotonic clock.
#pragma once

#include "protocol/fields.h"

#include <QString>
#include <QTime>

namespace QVIDUTIL
{

// A number as numeric text conversion writes it: one leading blank unless negative (" 20").
QString numberText(qint64 value);
// A number as numeric line output writes it: numberText plus one trailing blank (" 4711 ").
QString numberLine(qint64 value);

// List keys: the table index as four digits followed by "A" ("0012A"), and back.
QString listKey(int index);
int keyIndex(const QString &key);

// Local time of day as calls carry it: hour without a leading zero, ':', two-digit minute.
QString timeOfDayText(const QTime &time = QTime::currentTime());

// Milliseconds of the system's monotonic clock: the same clock in every process of the machine.
qint64 monotonicMs();
} // namespace QVIDUTIL
