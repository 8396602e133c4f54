// JPEG stills through the engine: round trips, agreement with TurboJPEG, hostile streams and the
// small picture utilities of the still path.
#include "picture_support.h"
#include "rxvlib11.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

#include <unistd.h>

using namespace rxvtest;

namespace
{

constexpr int32_t kJpegBuffer = 40000; // the program's JPEG buffer

Bytes compress(const Bytes &picture, int width, int height, int quality,
               int32_t capacity = kJpegBuffer)
{
    Bytes jpeg(static_cast<size_t>(capacity));
    const int32_t n =
        QVIDCompressStill(picture.data(), static_cast<int16_t>(width), static_cast<int16_t>(height),
                          static_cast<int16_t>(quality), jpeg.data(), capacity);
    jpeg.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return jpeg;
}

struct Decoded {
    int32_t result = 0;
    int16_t width = -1, height = -1;
    Bytes picture;
};

Decoded decompress(const Bytes &jpeg)
{
    Decoded d;
    d.picture.assign(RXV_MAX_PICTURE_BYTES + 64, 0xA5);
    d.result = QVIDUnCompressStill(jpeg.data(), static_cast<int32_t>(jpeg.size()), &d.width,
                                   &d.height, d.picture.data());
    return d;
}

bool untouchedFrom(const Bytes &b, size_t from, uint8_t fill)
{
    for (size_t i = from; i < b.size(); ++i)
        if (b[i] != fill) return false;
    return true;
}

// A stream written by TurboJPEG, for inputs the engine never writes itself.
Bytes turboJpeg(int width, int height, int pixelFormat, int subsampling, int quality)
{
    const int channels = tjPixelSize[pixelFormat];
    Bytes picture(static_cast<size_t>(width) * height * channels);
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = static_cast<uint8_t>((i * 13) ^ (i >> 9));
    tjhandle tj = tjInitCompress();
    unsigned char *out = nullptr;
    unsigned long size = 0;
    const int rc = tjCompress2(tj, picture.data(), width, 0, height, pixelFormat, &out, &size,
                               subsampling, quality, 0);
    Bytes jpeg;
    if (rc == 0) jpeg.assign(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return jpeg;
}

// ---- round trips ----

struct RoundTripCase {
    int width, height, quality;
    double floorDb; // measured on this scene, less 1 dB; see the README
};

class StillRoundTrip : public testing::TestWithParam<RoundTripCase>
{
};

TEST_P(StillRoundTrip, RestoresTheBufferLikeTurboJpeg)
{
    const RoundTripCase &c = GetParam();
    const Bytes original = naturalPicture(c.width, c.height, 3);
    const Bytes jpeg = compress(original, c.width, c.height, c.quality);
    ASSERT_FALSE(jpeg.empty());
    const Decoded d = decompress(jpeg);
    const size_t n = original.size();
    ASSERT_EQ(d.result, static_cast<int32_t>(n));
    EXPECT_EQ(d.width, c.width);
    EXPECT_EQ(d.height, c.height);
    EXPECT_TRUE(untouchedFrom(d.picture, n, 0xA5)) << "written past the picture";
    const double engineDb = psnr(original.data(), d.picture.data(), n);
    EXPECT_GE(engineDb, c.floorDb);

    // Any standard decoder reads the stream; taking bytes 0, 1, 2 as R, G, B gives the buffer.
    tjhandle tj = tjInitDecompress();
    Bytes reference(n);
    ASSERT_EQ(tjDecompress2(tj, jpeg.data(), jpeg.size(), reference.data(), c.width, 0, c.height,
                            TJPF_RGB, 0),
              0);
    tjDestroy(tj);
    EXPECT_EQ(0, std::memcmp(reference.data(), d.picture.data(), n));

    // TurboJPEG at the same quality (4:2:0, baseline) gives a stream of about the same size and
    // quality: a wrong quality scale or subsampling would show here.
    tj = tjInitCompress();
    unsigned char *tjJpeg = nullptr;
    unsigned long tjSize = 0;
    ASSERT_EQ(tjCompress2(tj, original.data(), c.width, 0, c.height, TJPF_RGB, &tjJpeg, &tjSize,
                          TJSAMP_420, c.quality, 0),
              0);
    tjDestroy(tj);
    tj = tjInitDecompress();
    tjDecompress2(tj, tjJpeg, tjSize, reference.data(), c.width, 0, c.height, TJPF_RGB, 0);
    tjDestroy(tj);
    tjFree(tjJpeg);
    EXPECT_NEAR(static_cast<double>(jpeg.size()), static_cast<double>(tjSize), tjSize * 0.01 + 16);
    EXPECT_NEAR(engineDb, psnr(original.data(), reference.data(), n), 0.2);
}

INSTANTIATE_TEST_SUITE_P(
    SizesAndQualities, StillRoundTrip,
    testing::Values(RoundTripCase{320, 240, 15, 25.2}, RoundTripCase{320, 240, 30, 26.5},
                    RoundTripCase{640, 480, 12, 28.0}, RoundTripCase{640, 480, 27, 30.2},
                    RoundTripCase{160, 120, 30, 23.5}, RoundTripCase{80, 60, 85, 24.0}),
    [](const auto &info) {
        const RoundTripCase &c = info.param;
        return std::to_string(c.width) + "x" + std::to_string(c.height) + "q" +
               std::to_string(c.quality);
    });

TEST(CompressStill, NeverWritesPastTheCapacity)
{
    const Bytes picture = naturalPicture(640, 480);
    const Bytes full = compress(picture, 640, 480, 85, 100000);
    const int32_t length = static_cast<int32_t>(full.size());
    ASSERT_GT(length, 3 * 4096);
    for (const int32_t capacity : {0, 100, 4096, 8192, length - 1, length}) {
        Bytes out(static_cast<size_t>(length) + 4096, 0x5A);
        const int32_t r = QVIDCompressStill(picture.data(), 640, 480, 85, out.data(), capacity);
        EXPECT_TRUE(untouchedFrom(out, static_cast<size_t>(capacity), 0x5A))
            << "capacity " << capacity;
        if (capacity == length) {
            EXPECT_EQ(r, length) << "an exact fit is not an overflow";
            EXPECT_EQ(0, std::memcmp(out.data(), full.data(), full.size()));
        } else {
            EXPECT_EQ(r, RXV_ERR_NO_ROOM) << "capacity " << capacity;
        }
    }
}

TEST(CompressStill, RefusesEmptyPicturesWithoutWriting)
{
    const Bytes picture = naturalPicture(16, 16);
    Bytes out(100, 0x5A);
    EXPECT_EQ(QVIDCompressStill(picture.data(), 0, 16, 30, out.data(), 100), RXV_ERR_INVALID);
    EXPECT_EQ(QVIDCompressStill(picture.data(), 16, 0, 30, out.data(), 100), RXV_ERR_INVALID);
    EXPECT_EQ(QVIDCompressStill(picture.data(), -16, 16, 30, out.data(), 100), RXV_ERR_INVALID);
    EXPECT_TRUE(untouchedFrom(out, 0, 0x5A));
}

TEST(CompressStill, QualitiesOutsideOneToHundredCodeAsTheNearerEnd)
{
    const Bytes picture = naturalPicture(64, 48);
    const Bytes lowest = compress(picture, 64, 48, 1);
    const Bytes best = compress(picture, 64, 48, 100);
    ASSERT_FALSE(lowest.empty());
    ASSERT_NE(lowest, best);
    for (const auto &[quality, expected] : {std::pair{-32768, &lowest}, std::pair{0, &lowest},
                                            std::pair{101, &best}, std::pair{32767, &best}})
        EXPECT_EQ(compress(picture, 64, 48, quality), *expected) << "quality " << quality;
}

// ---- streams that are not what they claim ----

enum class Damage { Empty, Text, MarkerOnly, HeaderOnly, CutHalf, BadFrameHeader, Oversized, Cmyk };

struct DamageCase {
    const char *name;
    Damage damage;
    int32_t result;       // 0: a complete picture is expected
    bool upperRowsArrive; // the part before the cut decodes to the picture
};

class DamagedStill : public testing::TestWithParam<DamageCase>
{
};

TEST_P(DamagedStill, FailsCleanlyOrCompletes)
{
    const DamageCase &c = GetParam();
    const Bytes picture = naturalPicture(320, 240);
    Bytes jpeg = compress(picture, 320, 240, 30);
    const size_t sos = [&] {
        for (size_t i = 0; i + 1 < jpeg.size(); ++i)
            if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i;
        return size_t{0};
    }();
    switch (c.damage) {
    case Damage::Empty:
        jpeg.clear();
        break;
    case Damage::Text:
        jpeg.assign({'h', 'e', 'l', 'l', 'o', ' ', 'j', 'p', 'g'});
        break;
    case Damage::MarkerOnly:
        jpeg.assign({0xFF, 0xD8});
        break;
    case Damage::HeaderOnly:
        jpeg.resize(sos + 14);
        break;
    case Damage::CutHalf:
        jpeg.resize(jpeg.size() / 2);
        break;
    case Damage::BadFrameHeader:
        for (size_t i = 0; i + 8 < jpeg.size(); ++i)
            if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
                jpeg[i + 9] = 7; // seven components in a three-component frame
                break;
            }
        break;
    case Damage::Oversized:
        jpeg = turboJpeg(1280, 720, TJPF_RGB, TJSAMP_420, 30);
        break;
    case Damage::Cmyk:
        jpeg = turboJpeg(64, 64, TJPF_CMYK, TJSAMP_444, 30);
        break;
    }
    const Decoded d = decompress(jpeg);
    if (c.result == 0) {
        EXPECT_EQ(d.result, 320 * 240 * 3);
        EXPECT_EQ(d.width, 320);
        // The first rows of the stream arrived as they were; the rest is filled in.
        if (c.upperRowsArrive) {
            const Decoded whole = decompress(compress(picture, 320, 240, 30));
            EXPECT_EQ(0, std::memcmp(whole.picture.data(), d.picture.data(), 320 * 48 * 3));
        }
    } else {
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(d.width, -1) << "size reported for a failed picture";
    }
    EXPECT_TRUE(untouchedFrom(d.picture, RXV_MAX_PICTURE_BYTES, 0xA5));
}

INSTANTIATE_TEST_SUITE_P(
    Streams, DamagedStill,
    testing::Values(DamageCase{"empty", Damage::Empty, RXV_ERR_BAD_DATA, false},
                    DamageCase{"text", Damage::Text, RXV_ERR_BAD_DATA, false},
                    DamageCase{"markerOnly", Damage::MarkerOnly, RXV_ERR_BAD_DATA, false},
                    DamageCase{"headerOnly", Damage::HeaderOnly, 0, false},
                    DamageCase{"cutHalf", Damage::CutHalf, 0, true},
                    DamageCase{"badFrameHeader", Damage::BadFrameHeader, RXV_ERR_BAD_DATA, false},
                    DamageCase{"largerThanAnyBuffer", Damage::Oversized, RXV_ERR_TOO_LARGE, false},
                    DamageCase{"cmyk", Damage::Cmyk, RXV_ERR_BAD_DATA, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(UnCompressStill, GreyStreamsComeBackWithThreeEqualComponents)
{
    const Bytes jpeg = turboJpeg(80, 60, TJPF_GRAY, TJSAMP_GRAY, 85);
    const Decoded d = decompress(jpeg);
    ASSERT_EQ(d.result, 80 * 60 * 3);
    for (int i = 0; i < 80 * 60; ++i)
        ASSERT_TRUE(d.picture[i * 3] == d.picture[i * 3 + 1] &&
                    d.picture[i * 3] == d.picture[i * 3 + 2]);
}

// ---- files ----

TEST(StillFiles, FileRoundTripMatchesMemoryAndFailuresLeaveNoFile)
{
    const auto dir =
        std::filesystem::temp_directory_path() / ("rxv-still-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "picture.jpg").string();
    const Bytes picture = naturalPicture(160, 120);
    ASSERT_EQ(QVIDCompressStillFile(picture.data(), 160, 120, 30, file.c_str()), 0);
    const Bytes jpeg = compress(picture, 160, 120, 30);
    EXPECT_EQ(std::filesystem::file_size(file), jpeg.size());

    Bytes fromFile(RXV_MAX_PICTURE_BYTES);
    int16_t w = 0, h = 0;
    ASSERT_EQ(QVIDUnCompressStillFile(file.c_str(), &w, &h, fromFile.data()), 160 * 120 * 3);
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 120);
    EXPECT_EQ(0, std::memcmp(fromFile.data(), decompress(jpeg).picture.data(), 160 * 120 * 3));

    const std::string missing = (dir / "no-such-dir" / "x.jpg").string();
    EXPECT_EQ(QVIDCompressStillFile(picture.data(), 160, 120, 30, missing.c_str()), RXV_ERR_FILE);
    EXPECT_EQ(QVIDUnCompressStillFile(missing.c_str(), &w, &h, fromFile.data()), RXV_ERR_FILE);
    const std::string zero = (dir / "zero.jpg").string();
    EXPECT_EQ(QVIDCompressStillFile(picture.data(), 0, 120, 30, zero.c_str()), RXV_ERR_INVALID);
    EXPECT_FALSE(std::filesystem::exists(zero));
    std::filesystem::remove_all(dir);
}

// ---- reduction and flip ----

TEST(DownSampleImg, InPlaceHalvingKeepsEverySecondPixelOfEverySecondRow)
{
    const Bytes source = naturalPicture(640, 480, 1);
    Bytes buffer = source;
    ASSERT_EQ(QVIDDownSampleImg(buffer.data(), 640, 480, buffer.data(), 320, 240), 230400);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            ASSERT_EQ(
                0, std::memcmp(&buffer[(y * 320 + x) * 3], &source[(2 * y * 640 + 2 * x) * 3], 3))
                << x << "," << y;
}

TEST(DownSampleImg, QuickMessageThumbnailAndBadSizes)
{
    const Bytes source = naturalPicture(320, 240, 2);
    Bytes thumb(80 * 60 * 3 + 16, 0x33);
    ASSERT_EQ(QVIDDownSampleImg(source.data(), 320, 240, thumb.data(), 80, 60), 80 * 60 * 3);
    EXPECT_EQ(0, std::memcmp(&thumb[(59 * 80 + 79) * 3], &source[(236 * 320 + 316) * 3], 3));
    EXPECT_TRUE(untouchedFrom(thumb, 80 * 60 * 3, 0x33));
    EXPECT_EQ(QVIDDownSampleImg(source.data(), 320, 240, thumb.data(), 0, 60), RXV_ERR_INVALID);
}

TEST(InvertFrame, FlipsRowsAndSwapsRedAndBlue)
{
    Bytes picture = naturalPicture(4, 3);
    const Bytes original = picture;
    EXPECT_EQ(QVIDInvertFrame(picture.data(), 4, 3), 0);
    for (int x = 0; x < 4; ++x) {
        const uint8_t *top = &original[(2 * 4 + x) * 3];
        const uint8_t *now = &picture[x * 3];
        EXPECT_EQ(now[0], top[2]);
        EXPECT_EQ(now[1], top[1]);
        EXPECT_EQ(now[2], top[0]);
    }
    EXPECT_EQ(0, std::memcmp(&picture[12], &original[12], 12)) << "middle row moved";
    QVIDInvertFrame(picture.data(), 4, 3);
    EXPECT_EQ(picture, original);

    Bytes single = naturalPicture(5, 1);
    const Bytes before = single;
    QVIDInvertFrame(single.data(), 5, 1);
    EXPECT_EQ(single, before);
}

} // namespace
