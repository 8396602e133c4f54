// Number texts, list keys and times as the files and calls hold them.
#include "qvidutil.h"

#include <gtest/gtest.h>

using namespace QVIDUTIL;

TEST(NumberTexts, BlanksAsTheFilesHoldThem)
{
    EXPECT_EQ(numberText(20), " 20");
    EXPECT_EQ(numberText(-3), "-3");
    EXPECT_EQ(numberLine(4711), " 4711 ");
    EXPECT_EQ(numberLine(-1), "-1 ");
    EXPECT_EQ(listKey(12), "0012A");
    EXPECT_EQ(keyIndex(listKey(345)), 345);
    EXPECT_EQ(timeOfDayText(QTime(9, 5)), "9:05");
    EXPECT_EQ(timeOfDayText(QTime(17, 30)), "17:30");
    EXPECT_EQ(timeOfDayText(QTime(0, 0)), "0:00");
}
