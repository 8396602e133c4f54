// Chat lines.
#include "chatline.h"

namespace ChatLine
{

QByteArray build(const Key &key)
{
    return 'T' + QString::fromUcs4(&key.character, 1).toUtf8() + ';' + Terminator;
}

QByteArray build(const Bell &)
{
    return "BEL" + Terminator;
}

QByteArray ringButton()
{
    return QByteArray("T\x07") + Terminator;
}

Line parse(const QByteArray &line)
{
    if (line.startsWith("BEL")) return Bell{};
    if (!line.startsWith('T') || line.size() < 2) return {};
    // The character after the "T": a whole UTF-8 sequence.
    const QList<uint> codes = QString::fromUtf8(line.mid(1, 4)).toUcs4();
    if (codes.isEmpty()) return {};
    if (codes.first() == BellCode) return Bell{};
    return Key{char32_t(codes.first())};
}

} // namespace ChatLine
