// Fuzzes the pal server's replies as the program reads them (a new ID, a move to another server,
// a pal's presence): texts come back cut and without control characters, and what is built from a
// reply read reads back the same after one round.
#include "fuzzsupport.h"
#include "protocol/pal.h"

using Fuzz::require;
using Fuzz::requireShown;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray line(reinterpret_cast<const char *>(data), qsizetype(size));
    const Pal::Reply first = Pal::parseReply(line);
    if (const auto *m = std::get_if<Pal::Move>(&first)) requireShown(m->host);
    if (const auto *a = std::get_if<Directory::EmailAnswer>(&first))
        for (const QString *t : {&a->email, &a->name, &a->location, &a->address})
            requireShown(*t);
    if (std::holds_alternative<std::monostate>(first)) return 0;
    const Pal::Reply second = Pal::parseReply(Fuzz::rebuiltLine(first, Pal::Terminator));
    require(second.index() == first.index(), "a rebuilt reply is the same kind");
    require(Pal::parseReply(Fuzz::rebuiltLine(second, Pal::Terminator)) == second,
            "a rebuilt reply reads back the same");
    return 0;
}
