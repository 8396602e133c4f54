// Directory server lines.
#include "directory.h"

#include "fields.h"

using namespace QVIDUTIL;

namespace Directory
{

QByteArray build(const EmailLookup &lookup)
{
    return "GEM;" + wire(lookup.address) + ';' + Terminator;
}

std::optional<EmailLookup> parseEmailLookup(const QByteArray &line)
{
    if (!line.startsWith("GEM") || CountFields(line) < 1) return std::nullopt;
    return EmailLookup{fromWire(GetField(line, 2))};
}

} // namespace Directory
