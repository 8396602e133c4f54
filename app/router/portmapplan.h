// The decisions of router port mapping that do not need a router: which block of four outside
// ports to ask for (a router may already give the program's own ports to another machine), when
// to renew a lease, and whether the outside address a router reports is one the Internet can
// reach. The router's answers are hostile input like any other network input.
#pragma once

#include <QString>

#include <functional>

namespace PortMapPlan
{
// The program's four listening ports: base (calls) to base + 3 (chat).
inline constexpr int PortCount = 4;
// How many outside blocks to try: the program's own, then 4, 8, ... above it.
inline constexpr int Attempts = 8;
// The lease asked for, and the renewal of one the router granted for ever (lease 0).
inline constexpr int LeaseSeconds = 3600;
inline constexpr int PermanentRenewSeconds = 1800;
inline constexpr int ShortestRenewSeconds = 60;

// The outside base port of attempt `attempt` (0 first) for this inside base; 0 past the ports.
quint16 candidate(quint16 insideBase, int attempt);

// What a router said to one mapping request.
enum class Answer { Mapped, Conflict, Failed };

// The router, as the block search sees it: map outside port to inside port (the outside port the
// router chose instead, when it may choose, in *granted), and remove one of those mappings.
struct Router {
    std::function<Answer(quint16 outside, quint16 inside, quint16 *granted)> map;
    std::function<void(quint16 outside, quint16 inside)> remove;
};

struct Block {
    quint16 outsideBase = 0; // 0: none could be mapped
    QString error;           // why not, for the log
};
// Maps the four ports to one block of four consecutive outside ports at the same offsets (a peer
// reaches base + 1 to base + 3 from the base it was given). A block the router grants only in
// part, or scatters, is removed again and the next is tried; an error other than a conflict
// ends the search.
Block mapBlock(quint16 insideBase, const Router &router);

// Seconds until a lease of `granted` seconds (0: for ever) is renewed: at half its life, and
// never sooner than a minute, so a router granting seconds cannot make the program ask it in
// a loop.
int renewSeconds(qint64 granted);

// Checks the outside address a router reported: empty when the Internet can reach it; else why
// not (nothing usable, or a private or shared address: another router or the provider's NAT
// lies beyond this one, and the ports it opens are closed to the Internet).
QString externalAddressProblem(const QString &address);
} // namespace PortMapPlan
