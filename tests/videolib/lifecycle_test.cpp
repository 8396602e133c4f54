// Lifecycle and utility exports of the video engine, called as the program calls them.
#include "picture_support.h"
#include "rxvlib11.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

using namespace rxvtest;

namespace
{

// The result codes belong to the binary interface: the tests below compare against the names,
// so the values are held here.
static_assert(RXV_ERR_INVALID == -1 && RXV_ERR_NO_MEMORY == -1 && RXV_ERR_NOT_READY == -1 &&
              RXV_ERR_BAD_DATA == -1 && RXV_ERR_FILE == -1 && RXV_ERR_CODER == -1);
static_assert(RXV_ERR_NO_ROOM == -2 && RXV_ERR_TOO_LARGE == -2 && RXV_ERR_RING_FULL == -2 &&
              RXV_ERR_NO_DRIVER == -2 && RXV_ERR_CAPTURE == -20);

// ---- byte copies between the program's strings and raw buffers ----

enum class Copy { Buffer, LongToString, StringToLong };

struct CopyCase {
    const char *name;
    Copy function;
    int32_t length;
    int32_t capacity; // StringToLong only
    int32_t result;
    size_t copied;
};

class CopyUtilities : public testing::TestWithParam<CopyCase>
{
};

TEST_P(CopyUtilities, CopiesExactlyTheCountItReports)
{
    const CopyCase &c = GetParam();
    Bytes source(70000);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<uint8_t>(i * 7 + 1);
    Bytes destination(source.size() + 16, 0xEE);
    int32_t result = 0;
    switch (c.function) {
    case Copy::Buffer:
        result = QVIDCopyBuffer(source.data(), c.length, destination.data());
        break;
    case Copy::LongToString:
        result = QVIDLongtoString(source.data(), c.length, destination.data());
        break;
    case Copy::StringToLong:
        result = QVIDStringtoLong(source.data(), c.length, destination.data(), c.capacity);
        break;
    }
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(0, std::memcmp(destination.data(), source.data(), c.copied));
    for (size_t i = c.copied; i < destination.size(); ++i)
        ASSERT_EQ(destination[i], 0xEE) << "byte " << i << " written past the count";
}

INSTANTIATE_TEST_SUITE_P(
    Counts, CopyUtilities,
    testing::Values(CopyCase{"buffer", Copy::Buffer, 1234, 0, 1234, 1234},
                    CopyCase{"bufferNothing", Copy::Buffer, 0, 0, 0, 0},
                    CopyCase{"bufferNegative", Copy::Buffer, -5, 0, RXV_ERR_INVALID, 0},
                    CopyCase{"stillAbove16Bits", Copy::LongToString, 40000, 0, 40000, 40000},
                    CopyCase{"longNegative", Copy::LongToString, -1, 0, RXV_ERR_INVALID, 0},
                    CopyCase{"capacityLimits", Copy::StringToLong, 5000, 4000, 4000, 4000},
                    CopyCase{"lengthLimits", Copy::StringToLong, 300, 4000, 300, 300},
                    CopyCase{"largeStillWhole", Copy::StringToLong, 65000, 65535, 65000, 65000},
                    CopyCase{"negativeCapacity", Copy::StringToLong, 10, -1, RXV_ERR_INVALID, 0},
                    CopyCase{"negativeLength", Copy::StringToLong, -10, 100, RXV_ERR_INVALID, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(CopyBuffer, OverlappingRegionsMoveIntact)
{
    Bytes b(100);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(QVIDCopyBuffer(b.data(), 60, b.data() + 10), 60);
    for (int i = 0; i < 60; ++i)
        ASSERT_EQ(b[10 + i], i);
}

// ---- burning an overlay into a picture ----

struct BurnCase {
    const char *name;
    int x, y;
    int firstColumn, lastColumn, firstRow, lastRow; // the rectangle expected to change
};

class BurnImage : public testing::TestWithParam<BurnCase>
{
};

TEST_P(BurnImage, ChangesOnlyTheOverlayRectangleInsideThePicture)
{
    const BurnCase &c = GetParam();
    constexpr int W = 320, H = 240, OW = 80, OH = 16;
    Bytes picture(W * H * 3 + 64, 0x11);
    Bytes overlay(OW * OH * 3);
    for (size_t i = 0; i < overlay.size(); ++i)
        overlay[i] = static_cast<uint8_t>(0x80 | (i % 97));
    EXPECT_EQ(QVIDBurnImage(picture.data(), W, H, overlay.data(), OW, OH, c.x, c.y), 0);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const uint8_t *px = &picture[(y * W + x) * 3];
            const bool inside =
                x >= c.firstColumn && x <= c.lastColumn && y >= c.firstRow && y <= c.lastRow;
            if (!inside) {
                ASSERT_EQ(px[0], 0x11) << x << "," << y;
                continue;
            }
            const uint8_t *o = &overlay[((y - c.y) * OW + (x - c.x)) * 3];
            ASSERT_EQ(0, std::memcmp(px, o, 3)) << x << "," << y;
        }
    }
    for (size_t i = W * H * 3; i < picture.size(); ++i)
        ASSERT_EQ(picture[i], 0x11) << "written past the picture";
}

INSTANTIATE_TEST_SUITE_P(Placements, BurnImage,
                         testing::Values(BurnCase{"centredCaption", 120, 0, 120, 199, 0, 15},
                                         BurnCase{"pastRightEdge", 300, 5, 300, 319, 5, 20},
                                         BurnCase{"pastTopRow", 10, 230, 10, 89, 230, 239},
                                         BurnCase{"leftOfPicture", -30, 0, 0, 49, 0, 15}),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- text into a picture ----

struct Ink {
    int width = 0, height = 0;
    Bytes picture;
};

Ink render(const std::string &text)
{
    Ink ink;
    ink.picture.assign(RXV_MAX_PICTURE_BYTES, 0x55);
    int16_t w = -1, h = -1;
    if (!QVIDTextToImage(ink.picture.data(), &w, &h, text.data(),
                         static_cast<int32_t>(text.size())))
        return ink;
    ink.width = w;
    ink.height = h;
    return ink;
}

// Rows (counted from the top of the text) that carry ink in cell `cell`.
std::vector<int> inkedRows(const Ink &ink, int cell, int cellWidth)
{
    std::vector<int> rows;
    for (int top = 0; top < ink.height; ++top) {
        const int bufferRow = ink.height - 1 - top;
        for (int x = cell * cellWidth; x < (cell + 1) * cellWidth; ++x)
            if (ink.picture[(bufferRow * ink.width + x) * 3] != 0) {
                rows.push_back(top);
                break;
            }
    }
    return rows;
}

TEST(TextToImage, FixedPitchWhiteOnBlackBottomRowFirst)
{
    const Ink one = render("M");
    ASSERT_GT(one.width, 0) << "no usable font";
    const Ink ten = render("_^ Hello!x");
    EXPECT_EQ(ten.width, 10 * one.width);
    EXPECT_EQ(ten.height, one.height);
    EXPECT_EQ(one.width, 8) << "console-sized cells expected";

    bool white = false;
    for (int i = 0; i < ten.width * ten.height; ++i) {
        const uint8_t *px = &ten.picture[i * 3];
        ASSERT_TRUE(px[0] == px[1] && px[1] == px[2]) << "not grey at pixel " << i;
        white = white || px[0] == 255;
    }
    EXPECT_TRUE(white);
    EXPECT_TRUE(inkedRows(ten, 2, one.width).empty()) << "a blank cell has ink";
    // "_" sits at the bottom of its cell and "^" at the top; with the bottom row first in the
    // buffer, that tells the row order.
    const auto underscore = inkedRows(ten, 0, one.width);
    const auto caret = inkedRows(ten, 1, one.width);
    ASSERT_FALSE(underscore.empty());
    ASSERT_FALSE(caret.empty());
    EXPECT_GT(underscore.front(), ten.height / 2);
    EXPECT_LT(caret.back(), ten.height / 2);
}

TEST(TextToImage, MultiByteCharacterTakesOneCellOfItsByteCount)
{
    const Ink accent = render("\xC3\xA9"); // "é" in UTF-8: two bytes, two cells
    const int cell = accent.width / 2;
    ASSERT_GT(cell, 0);
    EXPECT_FALSE(inkedRows(accent, 0, cell).empty());
    EXPECT_TRUE(inkedRows(accent, 1, cell).empty());
}

TEST(TextToImage, MissingFontOrTooLongTextFailsAndKeepsTheSize)
{
    Bytes picture(RXV_MAX_PICTURE_BYTES);
    int16_t w = 77, h = 33;
    setenv("OVELA_VIDEO_FONT", "/nonexistent/font.ttf", 1);
    EXPECT_EQ(QVIDTextToImage(picture.data(), &w, &h, "abc", 3), 0);
    unsetenv("OVELA_VIDEO_FONT");
    EXPECT_EQ(w, 77);
    EXPECT_EQ(h, 33);
    const std::string longText(3000, 'x'); // would need more than 921,600 bytes
    EXPECT_EQ(QVIDTextToImage(picture.data(), &w, &h, longText.data(), 3000), 0);
    EXPECT_EQ(w, 77);
    EXPECT_NE(QVIDTextToImage(picture.data(), &w, &h, "abc", 3), 0) << "font not found again";
    EXPECT_EQ(w, 3 * 8);
}

// ---- start and failure to start ----

TEST(Lifecycle, StartsWithA320By240Picture)
{
    ASSERT_EQ(QVIDInitialize(nullptr), 0);
    int16_t w = 0, h = 0;
    EXPECT_EQ(RXVGetImageSize(&w, &h), 0);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_EQ(QVIDTerminate(), 0);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define RXV_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define RXV_SANITIZED 1
#endif
#endif

#ifndef RXV_SANITIZED
long addressSpaceInUse()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    statm >> pages;
    return pages * sysconf(_SC_PAGESIZE);
}

// Runs in a child process: starts the engine with too little memory for its buffers.
[[noreturn]] void startWithoutMemory()
{
    QVIDTerminate();
    // Room for small allocations, none for a 921,600-byte picture buffer.
    const rlim_t limit = static_cast<rlim_t>(addressSpaceInUse() + 512 * 1024);
    const rlimit rl{limit, limit};
    if (setrlimit(RLIMIT_AS, &rl) != 0) std::_Exit(10);
    if (QVIDInitialize(nullptr) != RXV_ERR_NO_MEMORY) std::_Exit(11);
    const Bytes ken = packet("KEN", Bytes{0x82, 6, 5});
    const Bytes aud = packet("AUD", Bytes{1, 2, 3});
    uint8_t payload[16];
    int16_t kind = -1;
    if (QVIDProcessData(ken.data(), static_cast<int32_t>(ken.size()), payload, 16, &kind) !=
            RXV_ERR_NOT_READY ||
        kind != RXV_KIND_PICTURE)
        std::_Exit(12);
    if (QVIDProcessData(aud.data(), static_cast<int32_t>(aud.size()), payload, 16, &kind) != 3)
        std::_Exit(13);
    std::_Exit(0);
}
#endif

TEST(Lifecycle, AllocationFailureIsReportedAndNothingRunsWithoutBuffers)
{
#ifdef RXV_SANITIZED
    GTEST_SKIP() << "sanitizers reserve address space, so the limit cannot be set";
#else
    EXPECT_EXIT(startWithoutMemory(), testing::ExitedWithCode(0), "");
#endif
}

} // namespace
