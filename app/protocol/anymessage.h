// The bytes of whichever message a protocol's variant holds (a CallControl::Message, a
// Directory::Reply, a Pal::Reply, ...), for code that handles a message it read without knowing
// its kind, such as a check that it reads back the same. The held message's own build() is found
// in its protocol's namespace; monostate, no message, builds to nothing.
#pragma once

#include <QByteArray>

#include <type_traits>
#include <variant>

template <typename Variant> QByteArray buildAny(const Variant &message)
{
    return std::visit(
        [](const auto &held) -> QByteArray {
            if constexpr (std::is_same_v<std::decay_t<decltype(held)>, std::monostate>)
                return QByteArray();
            else
                return build(held);
        },
        message);
}
