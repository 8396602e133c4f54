// Shared helpers of the program: fields of protocol lines, the numeric value of a text, number
// texts as the files hold them, list keys, and the time of day as calls announce it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTime>

namespace QVIDUTIL
{

// Field n (1 = the command) of a ';'-separated line. Asking past the last field gives the last
// field again; when nothing is left, `destination` keeps its previous value.
void GetField(const QByteArray &text, int n, QByteArray &destination);
QByteArray GetField(const QByteArray &text, int n);
// Removes and returns the text before the first ';' (the whole text when there is none).
QByteArray PopField(QByteArray &text);
// The number of ';' in a text.
int CountFields(const QByteArray &text);

// Numeric value of a text: leading blanks skipped, a number read up to the first character that
// cannot continue it, 0 when there is none; rounded half to even and clamped to the width.
double numericValue(const QByteArray &text);
qint16 val16(const QByteArray &text);
qint32 val32(const QByteArray &text);
inline qint16 val16(const QString &text)
{
    return val16(text.toUtf8());
}
inline qint32 val32(const QString &text)
{
    return val32(text.toUtf8());
}

// A number as numeric text conversion writes it: one leading blank unless negative (" 20").
QString numberText(qint64 value);
// A number as numeric line output writes it: numberText plus one trailing blank (" 4711 ").
QString numberLine(qint64 value);

// List keys: the table index as four digits followed by "A" ("0012A"), and back.
QString listKey(int index);
int keyIndex(const QString &key);

// Local time of day as calls carry it: hour without a leading zero, ':', two-digit minute.
QString timeOfDayText(const QTime &time = QTime::currentTime());

// Protocol text from a user's text and back; texts are UTF-8 on the wire.
inline QByteArray wire(const QString &text)
{
    return text.toUtf8();
}
inline QString fromWire(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

// Milliseconds of the system's monotonic clock: the same clock in every process of the machine.
qint64 monotonicMs();
} // namespace QVIDUTIL
