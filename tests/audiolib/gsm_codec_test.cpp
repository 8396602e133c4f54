// gsm_codec_test.cpp - the GSM block codec through the library's C interface: block and
// decode sizes, speech quality after a round trip, the half-rate mode, and hostile blocks.
#include "qvnaud20.h"
#include "testsupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace
{

class GsmCodecTest : public ::testing::Test
{
protected:
    void SetUp() override { QVIDStartGSM(); }
    void TearDown() override { QVIDStopGSM(); }

    std::vector<uint8_t> compress(std::vector<uint8_t> samples, int mode)
    {
        const auto count = static_cast<int16_t>(samples.size());
        samples.push_back(128); // never an empty (null) buffer
        std::vector<uint8_t> block(1 + (samples.size() / 160 + 1) * 33 + 1);
        const int length =
            QVIDCompressAudioGSM(samples.data(), count, static_cast<int16_t>(mode), block.data());
        block.resize(static_cast<size_t>(std::max(length, 0)));
        return block;
    }
    std::vector<uint8_t> decompress(const std::vector<uint8_t> &block)
    {
        std::vector<uint8_t> out(QVNAUD20_RECORD_BYTES);
        const int n =
            QVIDUnCompressAudioGSM(block.data(), static_cast<int16_t>(block.size()), out.data());
        out.resize(static_cast<size_t>(std::max(n, 0)));
        return out;
    }
};

struct SizeCase {
    int count;
    int mode;
    int blockLength;
    int decodedLength;
};

class GsmBlockSizeTest : public GsmCodecTest, public ::testing::WithParamInterface<SizeCase>
{
};

TEST_P(GsmBlockSizeTest, BlockAndDecodedLengths)
{
    const SizeCase c = GetParam();
    auto block = compress(audiotest::speechLike(static_cast<size_t>(c.count)), c.mode);
    ASSERT_EQ(static_cast<int>(block.size()), c.blockLength);
    EXPECT_EQ(block[0], c.mode);
    EXPECT_EQ(static_cast<int>(decompress(block).size()), c.decodedLength);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, GsmBlockSizeTest,
    ::testing::Values(SizeCase{1600, 0, 1 + 10 * 33, 1600}, SizeCase{1600, 1, 1 + 5 * 33, 1600},
                      SizeCase{161, 0, 1 + 2 * 33, 320}, SizeCase{160, 0, 1 + 33, 160},
                      SizeCase{1, 0, 1 + 33, 160}, SizeCase{321, 1, 1 + 33, 320},
                      SizeCase{1, 1, 1, 0}, SizeCase{0, 0, 1, 0}));

TEST_F(GsmCodecTest, NegativeCountGivesModeByteOnly)
{
    uint8_t samples[4] = {128, 128, 128, 128};
    uint8_t block[4] = {9, 9, 9, 9};
    EXPECT_EQ(QVIDCompressAudioGSM(samples, -5, 0, block), 1);
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(block[1], 9);
}

TEST_F(GsmCodecTest, HalfRateThinsTheCallersSamples)
{
    std::vector<uint8_t> samples(320);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> block(200);
    QVIDCompressAudioGSM(samples.data(), 320, 1, block.data());
    for (size_t i = 0; i < 160; ++i)
        ASSERT_EQ(samples[i], static_cast<uint8_t>(2 * i)) << i;
}

// GSM 06.10 keeps the waveform of voiced speech: this signal comes back with a correlation of
// 0.92 (full rate) and 0.94 (half rate; its energy lies well below 2 kHz). The floors leave room
// for libgsm versions; a fault in the companding, frame order or padding drops far below them.
struct QualityCase {
    int mode;
    double floor;
};
class GsmQualityTest : public GsmCodecTest, public ::testing::WithParamInterface<QualityCase>
{
};

TEST_P(GsmQualityTest, SpeechSurvivesTheRoundTrip)
{
    const auto speech = audiotest::speechLike(8000 * 3);
    std::vector<uint8_t> decoded;
    for (size_t at = 0; at < speech.size(); at += 1600) {
        std::vector<uint8_t> chunk(speech.begin() + at, speech.begin() + at + 1600);
        auto out = decompress(compress(chunk, GetParam().mode));
        ASSERT_EQ(out.size(), 1600u);
        decoded.insert(decoded.end(), out.begin(), out.end());
    }
    EXPECT_GT(audiotest::correlation(speech, decoded), GetParam().floor);
}

INSTANTIATE_TEST_SUITE_P(Modes, GsmQualityTest,
                         ::testing::Values(QualityCase{0, 0.85}, QualityCase{1, 0.85}));

TEST_F(GsmCodecTest, SilenceStaysSilent)
{
    // A fresh coder needs a few frames to settle; after that silence comes back exactly.
    std::vector<uint8_t> out;
    for (int round = 0; round < 3; ++round)
        out = decompress(compress(std::vector<uint8_t>(1600, 128), 0));
    ASSERT_EQ(out.size(), 1600u);
    for (uint8_t s : out)
        ASSERT_EQ(s, 128);
}

TEST_F(GsmCodecTest, HalfRateDecodeInterleavesMidpointsAndSamples)
{
    auto block = compress(audiotest::speechLike(1600), 0);
    const auto full = decompress(block);
    // The same frames decoded from a fresh state as half rate: every second output is the
    // full-rate sample, the others lie between their neighbours.
    QVIDStopGSM();
    QVIDStartGSM();
    block[0] = 1;
    const auto doubled = decompress(block);
    ASSERT_EQ(doubled.size(), 2 * full.size() > 2000 ? 1920u : 2 * full.size());
    EXPECT_EQ(doubled[0], full[0]);
    for (size_t i = 0; 2 * i + 1 < doubled.size(); ++i) {
        ASSERT_EQ(doubled[2 * i + 1], full[i]) << i;
        if (i == 0) continue;
        const int lo = std::min(full[i - 1], full[i]), hi = std::max(full[i - 1], full[i]);
        ASSERT_GE(doubled[2 * i], lo - 1) << i;
        ASSERT_LE(doubled[2 * i], hi + 1) << i;
    }
}

TEST_F(GsmCodecTest, DecodingBetweenBlocksDoesNotDisturbTheEncoder)
{
    const auto speech = audiotest::speechLike(1600 * 4);
    const auto other = compress(audiotest::speechLike(1600, 0.9), 0);
    auto encodeAll = [&](bool interleave) {
        QVIDStopGSM();
        QVIDStartGSM();
        std::vector<uint8_t> all;
        for (size_t at = 0; at < speech.size(); at += 1600) {
            auto block = compress({speech.begin() + at, speech.begin() + at + 1600}, 0);
            all.insert(all.end(), block.begin(), block.end());
            if (interleave) decompress(other);
        }
        return all;
    };
    EXPECT_EQ(encodeAll(false), encodeAll(true));
}

TEST_F(GsmCodecTest, NothingIsCodedWithoutCoderState)
{
    QVIDStopGSM();
    auto samples = audiotest::speechLike(160);
    std::vector<uint8_t> block(40, 7);
    EXPECT_EQ(QVIDCompressAudioGSM(samples.data(), 160, 0, block.data()), 0);
    EXPECT_EQ(block[0], 7);
    std::vector<uint8_t> frame(34, 0xD0);
    frame[0] = 0;
    std::vector<uint8_t> out(200, 7);
    EXPECT_EQ(QVIDUnCompressAudioGSM(frame.data(), 34, out.data()), 0);
    EXPECT_EQ(out[0], 7);
}

// Received blocks of every shape: the result and the bytes written must stay inside the
// caller's buffer, which is surrounded by guard bytes here.
constexpr int kUnbounded = -1000;

struct HostileCase {
    const char *name;
    int length;   // block length passed
    int mode;     // mode byte
    int capacity; // caller's buffer (kUnbounded: the export without one, 2,000 bytes)
    int expected;
};
class GsmHostileBlockTest : public GsmCodecTest, public ::testing::WithParamInterface<HostileCase>
{
};

TEST_P(GsmHostileBlockTest, StaysInsideTheBuffers)
{
    const HostileCase c = GetParam();
    auto valid = compress(audiotest::speechLike(160 * 30), 0); // 30 real frames
    std::vector<uint8_t> block(valid.begin(), valid.begin() + std::max(c.length, 1));
    block[0] = static_cast<uint8_t>(c.mode);
    const bool unbounded = c.capacity == kUnbounded;
    const int capacity = unbounded ? QVNAUD20_RECORD_BYTES : std::max(c.capacity, 0);
    constexpr int kGuard = 64;
    std::vector<uint8_t> out(static_cast<size_t>(capacity + 2 * kGuard), 0xAA);
    const int n = unbounded
                      ? QVIDUnCompressAudioGSM(block.data(), static_cast<int16_t>(c.length),
                                               out.data() + kGuard)
                      : QVIDUnCompressAudioGSMBounded(block.data(), static_cast<int16_t>(c.length),
                                                      out.data() + kGuard, capacity);
    EXPECT_EQ(n, c.expected);
    for (int i = 0; i < kGuard; ++i) {
        ASSERT_EQ(out[i], 0xAA);
        ASSERT_EQ(out[static_cast<size_t>(kGuard + capacity + i)], 0xAA);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, GsmHostileBlockTest,
    ::testing::Values(HostileCase{"empty", 0, 0, kUnbounded, 0},
                      HostileCase{"modeOnly", 1, 0, kUnbounded, 0},
                      HostileCase{"partialFrame", 1 + 33 + 5, 0, kUnbounded, 320},
                      HostileCase{"oneByteFrame", 2, 0, kUnbounded, 160},
                      HostileCase{"unknownMode", 1 + 33, 7, kUnbounded, 0},
                      HostileCase{"fullRateTooLong", 1 + 13 * 33, 0, kUnbounded, 1920},
                      HostileCase{"halfRateTooLong", 1 + 10 * 33, 1, kUnbounded, 1920},
                      HostileCase{"fitsExactly", 1 + 12 * 33, 0, 1920, 1920},
                      HostileCase{"boundedCut", 1 + 10 * 33, 0, 1000, 960},
                      HostileCase{"boundedHalfRate", 1 + 5 * 33, 1, 700, 640},
                      HostileCase{"tinyCapacity", 1 + 33, 0, 100, 0},
                      HostileCase{"negativeCapacity", 1 + 33, 0, -2, 0},
                      HostileCase{"partialLastOfMany", 1 + 29 * 33 + 1, 0, 8000, 4800}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(GsmCodecTest, CorruptFrameDecodesAsSilence)
{
    std::vector<uint8_t> block(1 + 33, 0x00); // no GSM signature in the frame
    std::vector<uint8_t> out(160, 0);
    ASSERT_EQ(QVIDUnCompressAudioGSM(block.data(), 34, out.data()), 160);
    for (uint8_t s : out)
        ASSERT_EQ(s, 128);
}

TEST_F(GsmCodecTest, NullPointersAreRefused)
{
    uint8_t buffer[400] = {};
    EXPECT_EQ(QVIDCompressAudioGSM(nullptr, 160, 0, buffer), 0);
    EXPECT_EQ(QVIDCompressAudioGSM(buffer, 160, 0, nullptr), 0);
    EXPECT_EQ(QVIDUnCompressAudioGSM(nullptr, 34, buffer), 0);
    EXPECT_EQ(QVIDUnCompressAudioGSM(buffer, 34, nullptr), 0);
}

} // namespace
