// Fields of protocol lines.
#include "fields.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Fields
{

void getField(const QByteArray &text, int n, QByteArray &destination)
{
    qsizetype start = 0;
    for (int i = 1; i < n; ++i) {
        const qsizetype sep = text.indexOf(';', start);
        if (sep < 0) break;
        start = sep + 1;
    }
    if (start >= text.size()) return;
    const qsizetype sep = text.indexOf(';', start);
    destination = sep < 0 ? text.mid(start) : text.mid(start, sep - start);
}

QByteArray getField(const QByteArray &text, int n)
{
    QByteArray field;
    getField(text, n, field);
    return field;
}

QByteArray popField(QByteArray &text)
{
    const qsizetype sep = text.indexOf(';');
    if (sep < 0) {
        QByteArray all = text;
        text.clear();
        return all;
    }
    QByteArray field = text.left(sep);
    text.remove(0, sep + 1);
    return field;
}

int countFields(const QByteArray &text)
{
    return int(text.count(';'));
}

FieldReader::FieldReader(const QByteArray &text)
{
    const QByteArrayView all(text);
    qsizetype start = 0;
    for (qsizetype sep; (sep = all.indexOf(';', start)) >= 0; start = sep + 1)
        m_fields.append(all.sliced(start, sep - start));
    m_fields.append(all.sliced(start));
}

QByteArray FieldReader::field(int n) const
{
    // Past the last field getField gives the last one again.
    return m_fields[std::clamp<qsizetype>(n, 1, m_fields.size()) - 1].toByteArray();
}

QByteArray FieldReader::pop()
{
    return m_next < m_fields.size() ? m_fields[m_next++].toByteArray() : QByteArray();
}

double numericValue(const QByteArray &text)
{
    const char *p = text.constData();
    const char *end = p + text.size();
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
    double sign = 1.0;
    if (p < end && (*p == '+' || *p == '-')) {
        sign = *p == '-' ? -1.0 : 1.0;
        ++p;
    }
    double value = 0.0;
    while (p < end && *p >= '0' && *p <= '9')
        value = value * 10.0 + (*p++ - '0');
    if (p < end && *p == '.') {
        double scale = 0.1;
        for (++p; p < end && *p >= '0' && *p <= '9'; ++p, scale /= 10.0)
            value += (*p - '0') * scale;
    }
    return std::isfinite(value) ? sign * value : 0.0;
}

template <typename T> static T roundTo(double value)
{
    const double r = std::nearbyint(value); // the default rounding mode is half to even
    if (r <= double(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
    if (r >= double(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return T(r);
}

qint16 val16(const QByteArray &text)
{
    return roundTo<qint16>(numericValue(text));
}

qint32 val32(const QByteArray &text)
{
    return roundTo<qint32>(numericValue(text));
}

namespace
{
QByteArray harmless(const QString &text, bool keepLineBreaks)
{
    QByteArray bytes = wire(text);
    for (char &c : bytes) {
        if (c == ';')
            c = ',';
        else if (keepLineBreaks && (c == '\r' || c == '\n'))
            continue;
        else if ((uchar(c) < 0x20 && c != '\t') || c == 0x7f)
            c = ' ';
    }
    return bytes.replace("<E", "(E");
}
} // namespace

QByteArray fieldText(const QString &text)
{
    return harmless(text, false);
}

QByteArray multiLineFieldText(const QString &text)
{
    return harmless(text, true);
}

QString peerText(const QByteArray &field, int maxBytes)
{
    qsizetype cut = std::min<qsizetype>(field.size(), maxBytes);
    // Back to the start of a character when the cut falls inside one.
    while (cut > 0 && cut < field.size() && (uchar(field.at(cut)) & 0xC0) == 0x80)
        --cut;
    QString text = fromWire(field.left(cut));
    for (QChar &c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char(' ');
    return text;
}

} // namespace Fields
