// The router decisions that need no router: which outside block the program ends up with when a
// router holds, refuses or moves ports (and that it never leaves a stray forward behind), when a
// lease is renewed, and which outside addresses the Internet can reach.
#include "router/portmapplan.h"

#include <QMap>
#include <QSet>
#include <gtest/gtest.h>

namespace
{
using PortMapPlan::Answer;

// A router with some outside ports held by other machines, one it refuses, and a habit of
// moving the ports it is asked for (as a NAT-PMP router may).
struct FakeRouter {
    QSet<int> others;
    int refuses = 0;
    std::function<int(int)> moves = [](int p) { return p; };
    QMap<int, int> held; // outside -> inside, this program's

    PortMapPlan::Router face()
    {
        return {[this](quint16 out, quint16 in, quint16 *granted) {
                    if (out == refuses) return Answer::Failed;
                    const int port = moves(out);
                    if (others.contains(port) || held.contains(port)) return Answer::Conflict;
                    held.insert(port, in);
                    *granted = quint16(port);
                    return Answer::Mapped;
                },
                [this](quint16 out, quint16 in) {
                    if (held.value(out) == in) held.remove(out);
                }};
    }
};

struct BlockCase {
    const char *what;
    QSet<int> others;
    int refuses;
    std::function<int(int)> moves;
    int outsideBase; // 0: none
};

class MapBlock : public testing::TestWithParam<BlockCase>
{
};

TEST_P(MapBlock, EndsWithFourConsecutiveForwardsOrNone)
{
    const BlockCase &c = GetParam();
    FakeRouter router{c.others, c.refuses, c.moves ? c.moves : [](int p) { return p; }, {}};
    const PortMapPlan::Block block = PortMapPlan::mapBlock(2000, router.face());
    EXPECT_EQ(block.outsideBase, c.outsideBase) << c.what;
    QMap<int, int> expected;
    for (int i = 0; c.outsideBase && i < 4; ++i)
        expected.insert(c.outsideBase + i, 2000 + i);
    EXPECT_EQ(router.held, expected) << c.what << ": nothing else stays forwarded";
    EXPECT_EQ(block.error.isEmpty(), c.outsideBase != 0) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Routers, MapBlock,
    testing::Values(
        BlockCase{"all free", {}, 0, {}, 2000},
        BlockCase{"own base held by another machine", {2000}, 0, {}, 2004},
        BlockCase{"a port in the middle held", {2002, 2005}, 0, {}, 2008},
        BlockCase{"the router moves the whole block",
                  {},
                  0,
                  [](int p) { return p < 3000 ? p + 1000 : p; },
                  3000},
        BlockCase{"the router scatters the block",
                  {},
                  0,
                  [](int p) { return p == 2001 ? 4001 : p; },
                  2004},
        BlockCase{"the router refuses a port", {}, 2002, {}, 0},
        BlockCase{"every block held", {2000, 2004, 2008, 2012, 2016, 2020, 2024, 2028}, 0, {}, 0}));

TEST(PortMapPlan, RenewsAtHalfLifeWithinAMinuteAndHalfAnHour)
{
    const std::pair<qint64, int> cases[] = {{3600, 1800}, {600, 300}, {30, 60},           {1, 60},
                                            {0, 1800},    {-5, 1800}, {86400 * 365, 1800}};
    for (const auto &[granted, seconds] : cases)
        EXPECT_EQ(PortMapPlan::renewSeconds(granted), seconds) << granted;
}

TEST(PortMapPlan, OnlyAPublicIPv4OutsideAddressCountsAsOpen)
{
    const std::pair<const char *, bool> cases[] = {{"198.20.77.1", true},
                                                   {"8.8.8.8", true},
                                                   {"10.1.2.3", false},
                                                   {"172.20.0.1", false},
                                                   {"192.168.1.1", false},
                                                   {"100.64.0.1", false},
                                                   {"100.127.255.1", false},
                                                   {"100.128.0.1", true},
                                                   {"127.0.0.1", false},
                                                   {"169.254.3.4", false},
                                                   {"0.0.0.0", false},
                                                   {"255.255.255.255", false},
                                                   {"", false},
                                                   {"not an address", false},
                                                   {"1.2.3.4; rm -rf", false},
                                                   {"2001:db8::1", false}};
    for (const auto &[address, open] : cases)
        EXPECT_EQ(PortMapPlan::externalAddressProblem(QLatin1String(address)).isEmpty(), open)
            << address;
}
} // namespace
