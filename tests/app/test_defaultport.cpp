// Without a base port of its own, a program listens from port 2000, or from the first of 2004,
// 2008 and 2012 that is free. The only test that uses the default ports, so it runs alone.
#include "testsupport.h"

#include <gtest/gtest.h>

TEST(DefaultPort, AProgramStartsAt2000OrTheFirstFreeStepAboveIt)
{
    quint16 expected = 0;
    for (quint16 base : {2000, 2004, 2008, 2012}) {
        QTcpServer probe;
        if (probe.listen(QHostAddress::AnyIPv4, base)) {
            expected = base;
            break;
        }
    }
    if (expected == 0) GTEST_SKIP() << "ports 2000, 2004, 2008 and 2012 are all taken here";
    TestProgram t(nullptr, DefaultBasePort);
    t.start();
    EXPECT_EQ(t.program.basePort(), expected);
    EXPECT_EQ(t->signalling().listeningPort(), expected);
}
