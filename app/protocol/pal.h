// The pal server protocol (the pal connection, port 2015). The client asks for a user ID
// ("RSN"), logs in (a Directory::Login of kind PalLogin) and asks for one pal at a time
// ("GEM", a Directory::EmailLookup); the server answers with the new ID ("NSN"), a move to
// another server ("BSY" with host and port) or the pal's presence ("GER", a
// Directory::EmailAnswer). Lines are like the directory's, ended by "<ET>".
#pragma once

#include "directory.h"

namespace Pal
{

inline const QByteArray Terminator = Directory::Terminator;
constexpr quint16 DefaultPort = 2015;
// IDs the pal server hands out.
constexpr qint32 FirstId = 1, LastId = 1000000;

struct NewId {
    qint32 id = 0;
    bool operator==(const NewId &) const = default;
};
struct Move {
    QString host;
    qint16 port = 0;
    bool operator==(const Move &) const = default;
};

QByteArray build(const NewId &newId);
QByteArray build(const Move &move);

// A pal server's message as the client reads it (fields taken one after another).
using Reply = std::variant<std::monostate, NewId, Move, Directory::EmailAnswer>;
Reply parseReply(const QByteArray &line);

} // namespace Pal
