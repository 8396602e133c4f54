// The text connection of a call (base port + 3): real-time chat, one line per keystroke, and the
// bell; lines end with "<E>".
#pragma once

#include <QByteArray>

namespace ChatLine
{
inline const QByteArray Terminator = QByteArrayLiteral("<E>");
} // namespace ChatLine
