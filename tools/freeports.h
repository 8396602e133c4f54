// Free ports for the programs that tests and tools start on this machine, so that they run side
// by side and beside any program that holds the default ports.
#pragma once

#include <QTcpServer>

#include <map>
#include <unistd.h>

namespace FreePorts
{

// A base port in [first, last) with sixteen free ports from it (a program's four, and the room
// to step up by four three times), each checked by binding it. Each process starts in a block of
// its own, picked by its process id, so processes started one after another do not meet.
inline quint16 basePort(int first, int last)
{
    constexpr int Stride = 20, Block = 8;
    static std::map<int, int> nextIn;
    const int blocks = std::max(1, (last - first) / (Stride * Block));
    auto [it, fresh] = nextIn.try_emplace(first, first + int(::getpid() % blocks) * Stride * Block);
    int &next = it->second;
    for (int tries = 0; tries < (last - first) / Stride; ++tries) {
        const int base = next;
        next = next + Stride >= last ? first : next + Stride;
        bool free = true;
        for (int i = 0; i < 16 && free; ++i) {
            QTcpServer probe;
            free = probe.listen(QHostAddress::AnyIPv4, quint16(base + i));
        }
        if (free) return quint16(base);
    }
    return 0;
}

} // namespace FreePorts
