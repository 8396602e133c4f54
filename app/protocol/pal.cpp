// Pal server lines.
#include "pal.h"

#include "fields.h"

using namespace Fields;

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
    popField(rest); // the command
    if (command == "NSN") return NewId{val32(popField(rest))};
    if (command == "BSY") {
        const QString host = peerText(popField(rest));
        return Move{host, val16(popField(rest))};
    }
    if (command == "GER") {
        Directory::EmailAnswer a;
        a.email = peerText(popField(rest));
        a.name = peerText(popField(rest));
        a.location = peerText(popField(rest));
        a.address = peerText(popField(rest));
        a.port = val16(popField(rest));
        return a;
    }
    return {};
}

} // namespace Pal
