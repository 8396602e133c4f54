// Field helpers shared by every protocol and file of the program.
#include "protocol/fields.h"

#include <gtest/gtest.h>

using namespace Fields;

TEST(Fields, GetFieldCountsFromTheCommandAndRepeatsTheLast)
{
    const QByteArray line = "RQC;Ann;Porto;9:05;";
    EXPECT_EQ(getField(line, 1), "RQC");
    EXPECT_EQ(getField(line, 2), "Ann");
    EXPECT_EQ(getField(line, 4), "9:05");
    QByteArray keep = "previous";
    getField(line, 5, keep);
    EXPECT_EQ(keep, "previous") << "nothing after the last ';' leaves the destination alone";
    EXPECT_EQ(getField("A;B", 7), "B") << "past the end gives the last field again";
    EXPECT_EQ(getField("BSY", 1), "BSY");
    EXPECT_EQ(getField("A;;C;", 2), "");
    EXPECT_EQ(countFields(line), 4);
    EXPECT_EQ(countFields(""), 0);
}

TEST(Fields, PopFieldConsumesTheText)
{
    QByteArray text = "LS1;x;yz";
    EXPECT_EQ(popField(text), "LS1");
    EXPECT_EQ(popField(text), "x");
    EXPECT_EQ(popField(text), "yz");
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(popField(text), "");
}

// The one-pass reader gives what getField and popField give, field by field, and reads a line of
// hundreds of thousands of fields (a hostile server's list) at once.
TEST(Fields, FieldReaderAgreesWithGetFieldAndPopField)
{
    for (const QByteArray &line :
         {QByteArray(), QByteArray(";"), QByteArray("BSY"), QByteArray("A;;C;"),
          QByteArray("VCL;h;1;d"), QByteArray(";;x")}) {
        const FieldReader reader(line);
        FieldReader popper(line);
        QByteArray rest = line;
        for (int n = 1; n <= 6; ++n) {
            EXPECT_EQ(reader.field(n), getField(line, n)) << line.constData() << " field " << n;
            EXPECT_EQ(popper.pop(), popField(rest)) << line.constData() << " pop " << n;
        }
    }
    const QByteArray huge = "VCL;" + QByteArray(300000, ';');
    const FieldReader reader(huge);
    EXPECT_EQ(reader.field(300001), "");
    EXPECT_EQ(reader.field(1), "VCL");
}

struct ValueCase {
    const char *text;
    qint16 v16;
    qint32 v32;
};

class NumericValue : public ::testing::TestWithParam<ValueCase>
{
};

TEST_P(NumericValue, ReadsLikeTheFilesAndProtocolsExpect)
{
    EXPECT_EQ(val16(QByteArray(GetParam().text)), GetParam().v16) << GetParam().text;
    EXPECT_EQ(val32(QByteArray(GetParam().text)), GetParam().v32) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, NumericValue,
                         ::testing::Values(ValueCase{"  20", 20, 20}, ValueCase{"15s", 15, 15},
                                           ValueCase{"abc", 0, 0}, ValueCase{"", 0, 0},
                                           ValueCase{"-1 ", -1, -1},
                                           ValueCase{" 4711 ", 4711, 4711}, ValueCase{"2.5", 2, 2},
                                           ValueCase{"3.5", 4, 4}, ValueCase{"70000", 32767, 70000},
                                           ValueCase{"-99999999999", -32768, -2147483647 - 1},
                                           ValueCase{"0012A", 12, 12}, ValueCase{"1 2", 1, 1},
                                           ValueCase{"+7", 7, 7}));
