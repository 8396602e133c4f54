// The quick message protocol (a short connection to the recipient's base port + 2): the sender
// asks for a slot, sends the text, the picture and the voice clip as length-counted binary
// fields, and ends the message; lines end with "<E>".
#pragma once

#include <QByteArray>

namespace QuickMessage
{
inline const QByteArray Terminator = QByteArrayLiteral("<E>");
} // namespace QuickMessage
