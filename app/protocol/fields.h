// Fields of protocol lines and the numeric value of a text: the helpers every wire protocol of
// the program (and the directory server) reads and writes its lines with.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace Fields
{

// Field n (1 = the command) of a ';'-separated line. Asking past the last field gives the last
// field again; when nothing is left, `destination` keeps its previous value.
void getField(const QByteArray &text, int n, QByteArray &destination);
QByteArray getField(const QByteArray &text, int n);
// Removes and returns the text before the first ';' (the whole text when there is none).
QByteArray popField(QByteArray &text);
// The number of ';' in a text.
int countFields(const QByteArray &text);

// The fields of a ';'-separated line, found in one pass: field(n) gives what getField(text, n)
// gives and pop() what popField would on what the earlier pops left, without searching the line
// from its start (or moving its rest) for each field, so that a line of a hundred thousand fields
// takes no longer than its length. The text must outlive the reader.
class FieldReader
{
public:
    explicit FieldReader(const QByteArray &text);
    QByteArray field(int n) const;
    QByteArray pop();

private:
    QList<QByteArrayView> m_fields; // never empty: an empty text is one empty field
    qsizetype m_next = 0;
};

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

// Protocol text from a user's text and back; texts are UTF-8 on the wire.
inline QByteArray wire(const QString &text)
{
    return text.toUtf8();
}
inline QString fromWire(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

// A user's text as a field of a line: UTF-8, with what would break the line made harmless: a ';'
// (it would end the field early) becomes ',', control characters (a line break in a peer's log)
// become blanks, and "<E" (the start of a line's terminator) becomes "(E". A text without these
// is sent exactly as before.
QByteArray fieldText(const QString &text);
// The same for a text of several lines in a field that its reader takes whole (a quick message's
// text): its line breaks (CR, LF) are kept, since only ';' ends a field and only the terminator a
// line; everything else is made harmless as above.
QByteArray multiLineFieldText(const QString &text);

// A text a peer or a server sent for showing and logging (a name, a place, a time): cut to
// `maxBytes` (never inside a character), since a genuine one is far shorter, and with control
// characters made blanks, since a line break in a name would split its log line into entries of the
// peer's making.
QString peerText(const QByteArray &field, int maxBytes = 256);

} // namespace Fields
