// Media packets.
#include "mediapacket.h"

#include "fields.h"

#include <algorithm>

namespace MediaPacket
{

QByteArray build(const char *tag, const QByteArray &payload)
{
    if (payload.size() > MaxPayload) return {};
    return QByteArray(tag, 3) + QByteArray::number(payload.size()).rightJustified(5, '0') +
           payload + Terminator;
}

QByteArray text(const QString &line)
{
    QByteArray payload = Fields::wire(line);
    if (payload.size() > MaxTextPayload) {
        // Cut at a character boundary rather than refused.
        qsizetype cut = MaxTextPayload;
        while (cut > 0 && (uchar(payload.at(cut)) & 0xC0) == 0x80)
            --cut;
        payload.truncate(cut);
    }
    return build("TXT", payload);
}

Header header(const QByteArray &line)
{
    Header h;
    h.tag = line.left(3);
    h.declared = Fields::val32(line.mid(3, 5));
    if (h.declared > 0)
        h.length = std::min<qsizetype>(line.size(), qsizetype(h.declared) + HeaderBytes);
    return h;
}

QString textOf(const QByteArray &line, const Header &header)
{
    return Fields::fromWire(line.mid(HeaderBytes, std::max(0, header.declared)));
}

} // namespace MediaPacket
