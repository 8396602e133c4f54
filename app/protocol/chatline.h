// The text connection of a call (base port + 3), used in real-time chat: one line per key press,
// "T" and the typed character (a whole UTF-8 character) and ";", and the bell: "BEL" from
// Ctrl+G, "T" and the character with code 7 from the Ring User button. Lines end with "<E>".
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <variant>

namespace ChatLine
{

inline const QByteArray Terminator = QByteArrayLiteral("<E>");
constexpr char32_t BellCode = 7, BackspaceCode = 8, EnterCode = 13;

struct Key {
    char32_t character = 0; // a Unicode code point
    bool operator==(const Key &) const = default;
};
struct Bell {
    bool operator==(const Bell &) const = default;
};

QByteArray build(const Key &key);
// Ctrl+G.
QByteArray build(const Bell &);
// The Ring User button's line.
QByteArray ringButton();

// A line without its terminator: a key, the bell (either form), or monostate for anything else.
using Line = std::variant<std::monostate, Key, Bell>;
Line parse(const QByteArray &line);

} // namespace ChatLine
