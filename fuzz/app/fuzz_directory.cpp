// Fuzzes the directory protocol's lines both ways: the replies a directory server sends the
// program (first input byte even) and the requests the server reads from a program (odd). A
// reply's texts come back cut and without control characters and its list holds at most 500
// users; for both, what is built from a message read reads back the same after one round.
#include "fuzzsupport.h"
#include "protocol/directory.h"

using Fuzz::require;
using Fuzz::requireShown;
using namespace Directory;

namespace
{

// A program sends its version texts as they are; they never hold a terminator unless the line they
// were read from did, which a connection never delivers.
bool g_lineHadTerminator = false;

template <typename Variant> QByteArray rebuild(const Variant &m)
{
    const QByteArray line = Fuzz::rebuiltLine(m, Terminator);
    require(g_lineHadTerminator || !line.contains(Terminator),
            "a built line holds no other terminator");
    return line;
}

void checkReply(const QByteArray &line)
{
    const Reply first = parseReply(line);
    if (const auto *n = std::get_if<Notice>(&first)) requireShown(n->text);
    if (const auto *r = std::get_if<Redirect>(&first))
        for (const QString *t : {&r->host, &r->port, &r->text})
            requireShown(*t);
    if (const auto *s = std::get_if<ServerList>(&first))
        for (const ServerChoice &c : s->servers) {
            requireShown(c.host);
            requireShown(c.description);
        }
    if (const auto *l = std::get_if<UserList>(&first)) {
        require(l->users.size() <= MaxUsers, "a list keeps at most 500 users");
        for (const User &u : l->users)
            for (const QString *t : {&u.name, &u.location, &u.address, &u.comment})
                requireShown(*t);
    }
    if (const auto *a = std::get_if<EmailAnswer>(&first))
        for (const QString *t : {&a->email, &a->name, &a->location, &a->address})
            requireShown(*t);
    if (std::holds_alternative<std::monostate>(first)) return;
    const Reply second = parseReply(rebuild(first));
    require(second.index() == first.index(), "a rebuilt reply is the same kind");
    require(parseReply(rebuild(second)) == second, "a rebuilt reply reads back the same");
}

void checkRequest(const QByteArray &line)
{
    const Request first = parseRequest(line);
    if (std::holds_alternative<std::monostate>(first)) return;
    const Request second = parseRequest(rebuild(first));
    require(second.index() == first.index(), "a rebuilt request is the same kind");
    require(parseRequest(rebuild(second)) == second, "a rebuilt request reads back the same");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Input in(data, size);
    const bool request = in.choice() & 1;
    const QByteArray line = in.rest();
    g_lineHadTerminator = line.contains(Terminator);
    request ? checkRequest(line) : checkReply(line);
    return 0;
}
