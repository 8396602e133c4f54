// The frame callback on the engine's own objects: any bytes can be handed to it here, as fast as
// a test likes, which no camera allows. What it publishes is read through QVIDGetFrame.
#include "capture_frame.h"
#include "capture_simd.h"
#include "engine.h"
#include "rxvlib11.h"
#include "stream_frame.h"

#include "capture_reference.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

using captureref::Row;
using rxvtest::Bytes;

namespace
{

class FrameCallback : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QVIDInitialize(nullptr), 0);
        QVIDSetCompOnFrame(0);
    }
    void TearDown() override { QVIDTerminate(); }

    // Hands the frame to the callback and returns what QVIDGetFrame then gives.
    Bytes capture(const Bytes &frame, int16_t *width = nullptr, int16_t *height = nullptr)
    {
        rxv::captureFrame(scratch, frame.data(), frame.size());
        Bytes picture(RXV_MAX_PICTURE_BYTES);
        const int32_t n = QVIDGetFrame(picture.data(), RXV_MAX_PICTURE_BYTES, width, height);
        picture.resize(static_cast<size_t>(std::max(n, 0)));
        return picture;
    }

    rxv::CaptureScratch scratch;
};

Bytes randomFrame(size_t bytes, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes frame(bytes);
    for (uint8_t &b : frame)
        b = static_cast<uint8_t>(random());
    return frame;
}

// ---- every recognised frame against the plain conversion ----

class EveryFrameSize : public FrameCallback, public testing::WithParamInterface<Row>
{
};

TEST_P(EveryFrameSize, ConvertsAndCropsLikeThePlainConversion)
{
    const Row &row = GetParam();
    const Bytes frame = randomFrame(row.bytes, row.bytes);
    const Bytes expected = captureref::convert(row, frame.data());
    // Both the processor's fast rows (where it has them) and the plain loops.
    for (const bool fast : {true, false}) {
        SCOPED_TRACE(fast ? "fast rows" : "plain loops");
        rxv::simd::allow(fast);
        int16_t width = 0;
        int16_t height = 0;
        const Bytes picture = capture(frame, &width, &height);
        rxv::simd::allow(true);
        EXPECT_EQ(width, row.outWidth);
        EXPECT_EQ(height, row.outHeight);
        ASSERT_EQ(picture.size(), static_cast<size_t>(row.outWidth) * row.outHeight * 3);
        for (size_t i = 0; i < picture.size(); ++i)
            ASSERT_EQ(picture[i], expected[i])
                << "row " << i / 3 / row.outWidth << " column " << i / 3 % row.outWidth;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, EveryFrameSize, testing::ValuesIn(captureref::rows()),
                         [](const auto &info) { return captureref::rowName(info.param); });

// ---- pixels worked out by hand ----

struct HandCase {
    const char *name;
    uint32_t bytes;
    Bytes head;     // the frame's first bytes (the rest is 0)
    size_t pixel;   // index of the pixel checked in the picture
    Bytes expected; // its blue, green, red
};

void PrintTo(const HandCase &c, std::ostream *os)
{
    *os << c.name;
}

class HandPixels : public FrameCallback, public testing::WithParamInterface<HandCase>
{
};

TEST_P(HandPixels, GiveTheWorkedOutValues)
{
    const HandCase &c = GetParam();
    Bytes frame(c.bytes, 0);
    std::copy(c.head.begin(), c.head.end(), frame.begin());
    const Bytes picture = capture(frame);
    ASSERT_GE(picture.size(), c.pixel * 3 + 3);
    EXPECT_EQ(Bytes(picture.begin() + static_cast<long>(c.pixel * 3),
                    picture.begin() + static_cast<long>(c.pixel * 3 + 3)),
              c.expected);
}

// Planar frames with every sample of the plane set to one value: Y 100 and a red difference of
// 200 give R = (6,500,000 + 104,635 * 72) >> 16 = 214, G = (6,500,000 - 53,294 * 72) >> 16 = 40,
// B = 6,500,000 >> 16 = 99.
Bytes planar(int width, int height, int block, uint8_t y, uint8_t first, uint8_t second)
{
    const size_t area = static_cast<size_t>(width) * height;
    const size_t chroma = area / static_cast<size_t>(block * block);
    Bytes f(area, y);
    f.insert(f.end(), chroma, first);
    f.insert(f.end(), chroma, second);
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Worked, HandPixels,
    testing::Values(
        // 4-bit grey: nibble 1 is the brightest (15 * 16), 15 the darkest (1 * 16), 0 black.
        HandCase{"grey4High", 9600, {0x1F}, 0, {240, 240, 240}},
        HandCase{"grey4Low", 9600, {0x1F}, 1, {16, 16, 16}},
        HandCase{"grey4Zero", 9600, {0x1F, 0x00}, 2, {0, 0, 0}},
        // One-byte grey: value / 4 through 15 - i; values above 63 count as 63 (black), where
        // an index wrapped into the table would give 208 for 200 and 240 for 130.
        HandCase{"grey8Zero", 19200, {0, 4, 63, 200, 130}, 0, {240, 240, 240}},
        HandCase{"grey8Four", 19200, {0, 4, 63, 200, 130}, 1, {224, 224, 224}},
        HandCase{"grey8Top", 19200, {0, 4, 63, 200, 130}, 2, {0, 0, 0}},
        HandCase{"grey8Above63", 76800, {0, 4, 63, 200, 130}, 3, {0, 0, 0}},
        HandCase{"grey8Above63Again", 76800, {0, 4, 63, 200, 130}, 4, {0, 0, 0}},
        // 5-5-5: blue in the low bits, each 5-bit value times 8.
        HandCase{"rgb555Blue", 153600, {0x1F, 0x00}, 0, {248, 0, 0}},
        HandCase{"rgb555Red", 153600, {0x00, 0x7C}, 0, {0, 0, 248}},
        HandCase{"rgb555Mixed", 614400, {0x00, 0x00, 0x21, 0x04}, 1, {8, 8, 8}},
        // 24-bit QCIF: picture pixel 0 is frame row 12, column 8.
        HandCase{"rgb24CropOrigin",
                 76032,
                 [] {
                     Bytes h((12 * 176 + 8) * 3 + 3, 0);
                     h[(12 * 176 + 8) * 3] = 7, h[(12 * 176 + 8) * 3 + 1] = 8,
                                        h[(12 * 176 + 8) * 3 + 2] = 9;
                     return h;
                 }(),
                 0,
                 {7, 8, 9}},
        HandCase{"yuv12Grey", 115200, planar(320, 240, 2, 128, 128, 128), 5, {126, 126, 126}},
        HandCase{"yuv12White", 460800, planar(640, 480, 2, 255, 128, 128), 0, {252, 252, 252}},
        HandCase{"yuv12Red", 28800, planar(160, 120, 2, 100, 128, 200), 0, {99, 40, 214}},
        HandCase{"yvu9RedInByte0", 21600, planar(160, 120, 4, 100, 128, 200), 0, {214, 40, 99}},
        HandCase{"yuv12Clamped", 28800, planar(160, 120, 2, 255, 0, 255), 0, {0, 199, 255}}),
    [](const auto &info) { return std::string(info.param.name); });

// A planar frame's first luma row is the top of the picture: the picture's last row.
TEST_F(FrameCallback, PlanarFramesTurnBottomUp)
{
    Bytes frame = planar(160, 120, 2, 0, 128, 128);
    std::fill(frame.begin(), frame.begin() + 160, 255); // luma row 0
    const Bytes picture = capture(frame);
    EXPECT_EQ(picture[0], 0);
    EXPECT_EQ(picture[119 * 160 * 3], 252);
}

// ---- frame numbers, sizes that are not known ----

TEST_F(FrameCallback, FrameNumberCountsToAndWrapsAfter4096)
{
    const Bytes frame(12345, 1);
    EXPECT_EQ(QVIDGetFrameNum(), 0);
    for (int i = 1; i <= 4096; ++i) {
        rxv::captureFrame(scratch, frame.data(), frame.size());
        ASSERT_EQ(QVIDGetFrameNum(), i);
    }
    rxv::captureFrame(scratch, frame.data(), frame.size());
    EXPECT_EQ(QVIDGetFrameNum(), 0);
}

TEST_F(FrameCallback, UnknownSizesGiveNothingButCount)
{
    const Bytes good(230400, 50);
    ASSERT_EQ(capture(good).size(), 230400u);
    for (size_t bytes : {12345u, 230399u, 230401u, 1u, 2000000u}) {
        const int32_t before = QVIDGetFrameNum();
        int16_t width = 99;
        EXPECT_TRUE(capture(Bytes(bytes, 50), &width).empty()) << bytes;
        EXPECT_EQ(width, 0);
        EXPECT_EQ(QVIDGetFrameNum(), before + 1);
    }
    // A frame without data neither converts nor counts, and leaves the last picture.
    const int32_t before = QVIDGetFrameNum();
    rxv::captureFrame(scratch, good.data(), 0);
    EXPECT_EQ(QVIDGetFrameNum(), before);
}

TEST_F(FrameCallback, GetFrameCopiesAtMostTheCapacity)
{
    capture(Bytes(57600, 9));
    Bytes small(1000, 0xEE);
    int16_t width = 0;
    int16_t height = 0;
    EXPECT_EQ(QVIDGetFrame(small.data(), 999, &width, &height), 999);
    EXPECT_EQ(width, 160);
    EXPECT_EQ(height, 120);
    EXPECT_EQ(small[998], 9);
    EXPECT_EQ(small[999], 0xEE);
    EXPECT_EQ(QVIDGetFrame(nullptr, 5000, nullptr, nullptr), 0);
    EXPECT_EQ(QVIDGetFrame(small.data(), -1, nullptr, nullptr), 0);
}

TEST_F(FrameCallback, NothingIsPublishedWhileTheEngineIsStopped)
{
    QVIDTerminate();
    rxv::captureFrame(scratch, Bytes(57600, 3).data(), 57600);
    Bytes picture(57600);
    EXPECT_EQ(QVIDGetFrame(picture.data(), 57600, nullptr, nullptr), 0);
    ASSERT_EQ(QVIDInitialize(nullptr), 0);
    EXPECT_EQ(QVIDGetFrameNum(), 0);
}

// ---- compression on capture ----

TEST_F(FrameCallback, CompressionWritesTheStreamFrameOfThePicture)
{
    QVIDSetCompOnFrame(1);
    const Row &row = captureref::rows()[18]; // 320 x 240, 24 bits: selects colour
    ASSERT_EQ(row.bytes, 230400u);
    const Bytes frame = randomFrame(row.bytes, 5);
    const Bytes stream = capture(frame);
    Bytes expected(rxv::kPictureBufferBytes);
    const int32_t n = rxv::encodeStreamFrame(captureref::convert(row, frame.data()).data(), 5, 6,
                                             expected.data(), expected.size());
    ASSERT_EQ(n, 28802);
    expected.resize(static_cast<size_t>(n));
    EXPECT_EQ(stream, expected);
}

TEST_F(FrameCallback, GreyFramesSelectAndFillGreyStreamFrames)
{
    QVIDSetCompOnFrame(1);
    QVIDSetCompType(6);
    Bytes frame(38400);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(i * 37);
    const Bytes stream = capture(frame);
    ASSERT_EQ(stream.size(), 320u * 240 / 4 + 2);
    EXPECT_EQ(stream[0], 7);
    EXPECT_EQ(stream[1], 5);
    // Each grey value is its table entry: the frame's nibble n shows 16 - n (0 stays 0).
    Bytes grey(320 * 240);
    for (size_t i = 0; i < grey.size(); ++i) {
        const int nibble = i % 2 == 0 ? frame[i / 2] >> 4 : frame[i / 2] & 15;
        grey[i] = static_cast<uint8_t>(nibble == 0 ? 0 : 16 - nibble);
    }
    Bytes expected(stream.size());
    rxv::encodeStreamFrame(grey.data(), 5, 7, expected.data(), expected.size());
    EXPECT_EQ(stream, expected);
}

TEST_F(FrameCallback, SmallYvu9FramesAreCodedFromTheirPlanesBottomRowFirst)
{
    QVIDSetCompOnFrame(1);
    const Bytes frame = randomFrame(21600, 11);
    const Bytes stream = capture(frame);
    ASSERT_EQ(stream.size(), 160u * 120 / 4 + 160u * 120 / 8 + 2);
    EXPECT_EQ(stream[0], 6);
    EXPECT_EQ(stream[1], 2);
    // Block (0, 0) lies in the bottom four rows: luma rows 119 and 118, chroma block row 29.
    const uint8_t *luma = frame.data();
    EXPECT_EQ(stream[2], (luma[119 * 160] & 0xF0) | (luma[118 * 160 + 1] >> 4));
    EXPECT_EQ(stream[2 + 3], (luma[117 * 160 + 2] & 0xF0) | (luma[116 * 160 + 3] >> 4));
    EXPECT_EQ(stream[2 + 4800], frame[19200 + 29 * 40]);
    EXPECT_EQ(stream[2 + 4800 + 1200], frame[19200 + 1200 + 29 * 40]);
}

TEST_F(FrameCallback, CompressionWithoutAStreamTypeGivesNothing)
{
    QVIDSetCompOnFrame(1);
    QVIDSetCompType(0); // YUV12 leaves the type as it is
    EXPECT_TRUE(capture(Bytes(115200, 128)).empty());
}

// ---- one writer, one reader ----

// Pictures alternate between 160 x 120 of an even fill and 320 x 240 of an odd fill. A copy
// that mixed two pictures, or a size that did not belong to its bytes, shows at once.
TEST_F(FrameCallback, ReadersNeverSeeHalfAPicture)
{
    std::atomic<bool> done = false;
    std::thread camera([&] {
        Bytes small(57600);
        Bytes large(230400);
        for (int i = 0; i < 1500; ++i) {
            Bytes &frame = i % 2 == 0 ? small : large;
            std::fill(frame.begin(), frame.end(), static_cast<uint8_t>((2 * i + (i % 2)) & 0xFF));
            rxv::captureFrame(scratch, frame.data(), frame.size());
        }
        done = true;
    });
    Bytes picture(RXV_MAX_PICTURE_BYTES);
    int reads = 0;
    std::string fault;
    while ((!done || reads == 0) && fault.empty()) {
        int16_t width = 0;
        int16_t height = 0;
        const int32_t n = QVIDGetFrame(picture.data(), RXV_MAX_PICTURE_BYTES, &width, &height);
        if (n == 0) continue;
        ++reads;
        if (n != width * height * 3 || picture[0] % 2 != (width == 160 ? 0 : 1))
            fault = "size and picture disagree";
        for (int32_t i = 1; i < n && fault.empty(); ++i)
            if (picture[static_cast<size_t>(i)] != picture[0])
                fault = "torn at byte " + std::to_string(i);
    }
    camera.join();
    EXPECT_EQ(fault, "");
    EXPECT_GT(reads, 0);
}

} // namespace
