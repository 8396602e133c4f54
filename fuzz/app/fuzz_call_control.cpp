// Fuzzes the call control lines a peer sends on the control connection (one arrival is one
// message). A peer's texts come back cut to 256 characters and without control characters, and
// what the program builds from a message it read reads back the same (a second round changes
// nothing).
#include "fuzzsupport.h"
#include "protocol/callcontrol.h"

using Fuzz::require;
using namespace CallControl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray line(reinterpret_cast<const char *>(data), qsizetype(size));
    const Message first = parse(line);
    if (const auto *r = std::get_if<Request>(&first)) {
        for (const QString *t : {&r->name, &r->location, &r->time})
            Fuzz::requireShown(*t, MaxPeerField);
    } else if (const auto *a = std::get_if<Answer>(&first)) {
        for (const QString *t : {&a->name, &a->location, &a->time})
            Fuzz::requireShown(*t, MaxPeerField);
    }
    if (std::holds_alternative<std::monostate>(first)) return 0;
    const Message second = parse(buildAny(first));
    require(second.index() == first.index(), "a rebuilt message is the same kind");
    require(parse(buildAny(second)) == second, "a rebuilt message reads back the same");
    return 0;
}
