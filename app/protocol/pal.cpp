// Pal server lines.
#include "pal.h"

#include "fields.h"

using namespace QVIDUTIL;

namespace Pal
{

QByteArray build(const NewId &newId)
{
    return "NSN;" + QByteArray::number(newId.id) + ';' + Terminator;
}

QByteArray build(const Move &move)
{
    return "BSY;" + fieldText(move.host) + ';' + QByteArray::number(move.port) + ';' + Terminator;
}

Reply parseReply(const QByteArray &line)
{
    const QByteArray command = line.left(3);
    QByteArray rest = line;
    PopField(rest); // the command
    if (command == "NSN") return NewId{val32(PopField(rest))};
    if (command == "BSY") {
        const QString host = peerText(PopField(rest));
        return Move{host, val16(PopField(rest))};
    }
    if (command == "GER") {
        Directory::EmailAnswer a;
        a.email = peerText(PopField(rest));
        a.name = peerText(PopField(rest));
        a.location = peerText(PopField(rest));
        a.address = peerText(PopField(rest));
        a.port = val16(PopField(rest));
        return a;
    }
    return {};
}

} // namespace Pal
