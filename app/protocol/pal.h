// The pal server protocol (the pal connection, port 2015): the user's numeric ID, the pal login
// and the presence of each pal, in lines like the directory's, ended by "<ET>". The pal
// connection has no terminator set: each arrival is handled as one message.
#pragma once

#include <QByteArray>

namespace Pal
{
inline const QByteArray Terminator = QByteArrayLiteral("<ET>");
} // namespace Pal
