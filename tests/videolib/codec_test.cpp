// The stream-frame coders and run-length codings, which no export hands back out (decoded
// stream pictures stay in the frame event ring), tested on the engine's own objects.
#include "engine.h"
#include "runlength.h"
#include "stream_frame.h"

#include "picture_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

using namespace rxvtest;

namespace
{

// ---- run-length codings ----

struct RunCase {
    const char *name;
    rxv::RunCoding coding;
    Bytes coded;
    Bytes expected;
};

class RunLength : public testing::TestWithParam<RunCase>
{
};

TEST_P(RunLength, DecodesTheRecords)
{
    const RunCase &c = GetParam();
    Bytes out(rxv::kRunLengthLimit + 16, 0xEE);
    const size_t n = rxv::decodeRuns(c.coding, c.coded.data(), c.coded.size(), out.data());
    ASSERT_EQ(n, c.expected.size());
    EXPECT_EQ(0, std::memcmp(out.data(), c.expected.data(), n));
    EXPECT_EQ(out[n], 0xEE);
}

Bytes concat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Records, RunLength,
    testing::Values(
        RunCase{"literalThenFill",
                rxv::RunCoding::Fill,
                {0x82, 0x06, 0x02, 0x10, 0x00},
                concat({0x06, 0x02}, Bytes(16, 0))},
        RunCase{
            "fillOfNothingTakesTwoBytes", rxv::RunCoding::Fill, {0x00, 0x07, 0x81, 0x09}, {0x09}},
        RunCase{"fillValue", rxv::RunCoding::Fill, {0x03, 0xAB}, {0xAB, 0xAB, 0xAB}},
        RunCase{"zeroRunsHaveNoValueByte",
                rxv::RunCoding::Zero,
                {0x82, 0x06, 0x02, 0x05},
                concat({0x06, 0x02}, Bytes(5, 0))},
        RunCase{"literalCutShort", rxv::RunCoding::Fill, {0x85, 0x01, 0x02}, {0x01, 0x02}},
        RunCase{"fillValueCutOff", rxv::RunCoding::Fill, {0x81, 0x04, 0x05}, {0x04}},
        RunCase{"emptyLiteral", rxv::RunCoding::Zero, {0x80, 0x81, 0x03}, {0x03}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(RunLength, OutputAtTheLimitIsKeptAndPastItIsRefused)
{
    Bytes out(rxv::kRunLengthLimit + 200);
    Bytes coded;
    for (size_t total = 0; total < rxv::kRunLengthLimit; total += 100)
        coded.insert(coded.end(), {100, 0x42});
    EXPECT_EQ(rxv::decodeRuns(rxv::RunCoding::Fill, coded.data(), coded.size(), out.data()),
              rxv::kRunLengthLimit);
    coded.insert(coded.end(), {0x81, 0x01});
    EXPECT_EQ(rxv::decodeRuns(rxv::RunCoding::Fill, coded.data(), coded.size(), out.data()), 0u);
}

TEST(Delta, ZeroKeepsOneClearsOthersReplace)
{
    Bytes frame = {6, 5, 10, 20, 30, 40, 50};
    const Bytes delta = {7, 2, 0, 1, 99, 0};
    rxv::applyDelta(delta.data(), delta.size(), frame.data());
    EXPECT_EQ(frame, (Bytes{7, 2, 10, 0, 99, 40, 50}));
}

// ---- stream frames ----

class StreamFrameTest : public testing::Test
{
protected:
    void SetUp() override { rxv::buildTables(); }
};

// A picture of one colour, encoded and decoded, is that colour everywhere except the last pixel
// of row 0, whose right neighbour (row 1, column 0) is still empty when row 0 is filled.
TEST_F(StreamFrameTest, FlatColourDecodesToTheHandComputedPixel)
{
    const int W = 80, H = 60;
    Bytes picture(W * H * 3, 128);
    Bytes frame(rxv::streamFrameBytes(6, 1));
    ASSERT_EQ(rxv::encodeStreamFrame(picture.data(), 1, 6, frame.data(), frame.size()),
              static_cast<int32_t>(frame.size()));
    // Y = 56284 * 128 >> 16 = 109 -> sample 0x63; U = V = 0x80 -> 0x83.
    EXPECT_EQ(frame[2], 0x66);
    EXPECT_EQ(frame[2 + W * H / 4], 0x80);
    Bytes out(W * H * 3);
    ASSERT_TRUE(rxv::decodeStreamFrame(frame.data(), frame.size(), out.data(), W, H));
    const uint8_t expected[3] = {102, 94, 104}; // R, G, B bytes 0, 1, 2 of the transform
    for (int i = 0; i < W * H; ++i) {
        const uint8_t *px = &out[i * 3];
        if (i == W - 1) {
            EXPECT_EQ(px[0], 51);
            continue;
        }
        ASSERT_EQ(0, std::memcmp(px, expected, 3)) << "pixel " << i;
    }
}

TEST_F(StreamFrameTest, EncoderPlacesTheQuincunxSamples)
{
    // Grey input: one value 0-15 per pixel. Block 0 gets a distinct value at each sample.
    Bytes grey(80 * 60, 0);
    const int at[8][2] = {{0, 0}, {1, 1}, {0, 2}, {1, 3}, {2, 0}, {3, 1}, {2, 2}, {3, 3}};
    for (int i = 0; i < 8; ++i)
        grey[at[i][0] * 80 + at[i][1]] = static_cast<uint8_t>(i + 1);
    Bytes frame(rxv::streamFrameBytes(7, 1));
    ASSERT_EQ(rxv::encodeStreamFrame(grey.data(), 1, 7, frame.data(), frame.size()),
              2 + 80 * 60 / 4);
    EXPECT_EQ(frame[0], 7);
    EXPECT_EQ(frame[1], 1);
    EXPECT_EQ((Bytes{frame[2], frame[3], frame[4], frame[5]}), (Bytes{0x12, 0x34, 0x56, 0x78}));

    Bytes out(80 * 60 * 3);
    ASSERT_TRUE(rxv::decodeStreamFrame(frame.data(), frame.size(), out.data(), 80, 60));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(out[(at[i][0] * 80 + at[i][1]) * 3], (i + 1) << 4) << "sample " << i;
}

TEST_F(StreamFrameTest, ColourChromaOfPureRed)
{
    Bytes picture(80 * 60 * 3, 0);
    for (size_t i = 0; i < picture.size(); i += 3)
        picture[i] = 255; // byte 0 is the red-weighted component
    Bytes frame(rxv::streamFrameBytes(6, 1));
    rxv::encodeStreamFrame(picture.data(), 1, 6, frame.data(), frame.size());
    // Y = 16829 * 255 >> 16 = 65; U = (2 * -4853 * 255 >> 16) - 128 = -166 -> 0x5A;
    // V = (2 * 14386 * 255 >> 16) - 128 = -17 -> 0xEF.
    EXPECT_EQ(frame[2], 0x44);
    EXPECT_EQ(frame[2 + 80 * 60 / 4], 0x5A);
    EXPECT_EQ(frame[2 + 80 * 60 / 4 + 80 * 60 / 16], 0xEF);
}

double correlation(const Bytes &a, const Bytes &b, int channel)
{
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    const size_t n = a.size() / 3;
    for (size_t i = 0; i < n; ++i) {
        const double x = a[i * 3 + channel], y = b[i * 3 + channel];
        sa += x, sb += y, saa += x * x, sbb += y * y, sab += x * y;
    }
    const double cov = sab / n - sa / n * sb / n;
    return cov / std::sqrt((saa / n - sa / n * sa / n) * (sbb / n - sb / n * sb / n));
}

struct FrameCase {
    int sizeCode, width, height, type;
    double minCorrelation; // colour only: measured less a margin; two components swapped give 0.14
};

class StreamFrameRoundTrip : public StreamFrameTest, public testing::WithParamInterface<FrameCase>
{
};

TEST_P(StreamFrameRoundTrip, DecodesWhatWasEncoded)
{
    const FrameCase &c = GetParam();
    const Bytes scene = naturalPicture(c.width, c.height, 7);
    const bool grey = c.type != 6;
    Bytes input = scene;
    if (grey) { // one 4-bit grey value per pixel, as the grey capture path delivers them
        input.resize(scene.size() / 3);
        for (size_t i = 0; i < input.size(); ++i)
            input[i] = static_cast<uint8_t>(scene[i * 3 + 1] >> 4);
    }
    Bytes frame(rxv::streamFrameBytes(c.type, c.sizeCode) + 8, 0xEE);
    const int32_t n =
        rxv::encodeStreamFrame(input.data(), c.sizeCode, c.type, frame.data(), frame.size());
    ASSERT_EQ(n, static_cast<int32_t>(rxv::streamFrameBytes(c.type, c.sizeCode)));
    EXPECT_EQ(frame[static_cast<size_t>(n)], 0xEE);
    Bytes out(scene.size() + 8, 0xEE);
    ASSERT_TRUE(rxv::decodeStreamFrame(frame.data(), static_cast<size_t>(n), out.data(), c.width,
                                       c.height));
    EXPECT_EQ(out[scene.size()], 0xEE);
    out.resize(scene.size());
    if (grey) {
        Bytes expected(scene.size());
        for (size_t i = 0; i < input.size(); ++i)
            expected[i * 3] = expected[i * 3 + 1] = expected[i * 3 + 2] =
                static_cast<uint8_t>(input[i] << 4);
        EXPECT_GT(psnr(expected.data(), out.data(), out.size()), 24.0);
    } else {
        // The transform keeps structure but not level (4-bit luma, studio range), so the
        // pictures are compared by correlation per component. Small pictures lose most: one
        // chroma sample per 4 x 4 block is coarse against the scene's fine shelf.
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_GT(correlation(scene, out, ch), c.minCorrelation) << "component " << ch;
    }
}

INSTANTIATE_TEST_SUITE_P(SizesAndTypes, StreamFrameRoundTrip,
                         testing::Values(FrameCase{1, 80, 60, 6, 0.65},
                                         FrameCase{2, 160, 120, 6, 0.85},
                                         FrameCase{3, 160, 240, 6, 0.9},
                                         FrameCase{5, 320, 240, 6, 0.9},
                                         FrameCase{6, 640, 480, 6, 0.9}, FrameCase{1, 80, 60, 7, 0},
                                         FrameCase{3, 160, 240, 7, 0}, FrameCase{5, 320, 240, 9, 0},
                                         FrameCase{6, 640, 480, 9, 0}),
                         [](const auto &info) {
                             return "code" + std::to_string(info.param.sizeCode) + "type" +
                                    std::to_string(info.param.type);
                         });

TEST_F(StreamFrameTest, FramesOfAnotherSizeOrTypeGiveNoPicture)
{
    Bytes frame(rxv::streamFrameBytes(6, 5), 0x40);
    frame[0] = 6;
    frame[1] = 2; // 160 x 120, decoded into a 320 x 240 slot
    Bytes out(320 * 240 * 3, 0x99);
    EXPECT_FALSE(rxv::decodeStreamFrame(frame.data(), frame.size(), out.data(), 320, 240));
    EXPECT_EQ(out, Bytes(out.size(), 0));
    frame[1] = 5;
    frame[0] = 8;
    EXPECT_FALSE(rxv::decodeStreamFrame(frame.data(), frame.size(), out.data(), 320, 240));
    frame[0] = 6;
    EXPECT_FALSE(rxv::decodeStreamFrame(frame.data(), 1000, out.data(), 320, 240))
        << "frame shorter than its layout";

    Bytes dest(64, 0xEE);
    EXPECT_EQ(rxv::encodeStreamFrame(out.data(), 5, 3, dest.data(), dest.size()), 3);
    EXPECT_EQ(dest, Bytes(64, 0xEE)) << "another type writes nothing";
    EXPECT_EQ(rxv::encodeStreamFrame(out.data(), 5, 6, dest.data(), dest.size()), -1);
}

} // namespace
