// Fuzzes the call control lines a peer sends on the control connection (one arrival is one
// message). A peer's texts come back cut to 256 characters and without control characters, and
// what the program builds from a message it read reads back the same (a second round changes
// nothing).
#include "fuzzsupport.h"
#include "protocol/callcontrol.h"

using Fuzz::require;
using namespace CallControl;

namespace
{

void requirePeerText(const QString &text)
{
    require(text.size() <= MaxPeerField, "a peer's text is cut");
    for (QChar c : text)
        require(c.unicode() >= 0x20 && c.unicode() != 0x7f,
                "a peer's text has no control character");
}

QByteArray rebuild(const Message &m)
{
    return std::visit(
        [](const auto &message) -> QByteArray {
            if constexpr (std::is_same_v<std::decay_t<decltype(message)>, std::monostate>)
                return QByteArray();
            else
                return build(message);
        },
        m);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray line(reinterpret_cast<const char *>(data), qsizetype(size));
    const Message first = parse(line);
    if (const auto *r = std::get_if<Request>(&first)) {
        for (const QString *t : {&r->name, &r->location, &r->time})
            requirePeerText(*t);
    } else if (const auto *a = std::get_if<Answer>(&first)) {
        for (const QString *t : {&a->name, &a->location, &a->time})
            requirePeerText(*t);
    }
    if (std::holds_alternative<std::monostate>(first)) return 0;
    const Message second = parse(rebuild(first));
    require(second.index() == first.index(), "a rebuilt message is the same kind");
    require(parse(rebuild(second)) == second, "a rebuilt message reads back the same");
    return 0;
}
