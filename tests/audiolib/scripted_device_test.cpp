// scripted_device_test.cpp - recording and playback through the library's C interface with
// the scripted devices (OVELA_MIC=wav:, OVELA_SPEAKER=wav:), in real time through the same
// worker threads as real devices.
#include "qvnaud20.h"
#include "testsupport.h"

#include <cmath>
#include <gtest/gtest.h>

namespace
{

using audiotest::tempPath;
using audiotest::waitFor;

class ScriptedDeviceTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        unsetenv("OVELA_MIC");
        unsetenv("OVELA_SPEAKER");
    }
    static std::vector<uint8_t> takeAll(int buffers)
    {
        std::vector<uint8_t> out;
        uint8_t buffer[QVNAUD20_BUFFER_BYTES];
        for (int i = 0; i < buffers; ++i) {
            const int n = QVIDGetAudioIn(buffer);
            EXPECT_EQ(n, QVNAUD20_BUFFER_BYTES);
            out.insert(out.end(), buffer, buffer + std::max(n, 0));
        }
        return out;
    }
};

TEST_F(ScriptedDeviceTest, MicrophonePlaysTheFileInOrderThenSilence)
{
    const auto speech = audiotest::speechLike(4000);
    const auto path = tempPath("mic.wav");
    ASSERT_TRUE(audiotest::writeWavU8(path, speech));
    setenv("OVELA_MIC", ("wav:" + path).c_str(), 1);

    int32_t handle = 0;
    ASSERT_EQ(QVIDInitAudioIn(0, 0, &handle), 0);
    ASSERT_TRUE(waitFor([] { return QVIDStatusAudioIn(0) >= 3; }));
    EXPECT_EQ(QVIDCloseAudioIn(handle), 0);
    const auto recorded = takeAll(3);
    ASSERT_EQ(recorded.size(), 3u * 1600u);
    EXPECT_TRUE(std::equal(speech.begin(), speech.end(), recorded.begin()));
    EXPECT_TRUE(
        std::all_of(recorded.begin() + 4000, recorded.end(), [](uint8_t s) { return s == 128; }));
}

TEST_F(ScriptedDeviceTest, MicrophoneConvertsRateAndChannels)
{
    // 16 kHz stereo 16-bit: a 500 Hz tone on both channels.
    std::vector<float> stereo;
    for (int i = 0; i < 16000; ++i) {
        const float v = 0.5f * std::sin(2 * float(M_PI) * 500 * i / 16000.0f);
        stereo.push_back(v);
        stereo.push_back(v);
    }
    const auto path = tempPath("mic16k.wav");
    ASSERT_TRUE(audiotest::writeWav(path, stereo, 16000, 2, SF_FORMAT_PCM_16));
    setenv("OVELA_MIC", ("wav:" + path).c_str(), 1);

    int32_t handle = 0;
    ASSERT_EQ(QVIDInitAudioIn(0, 0, &handle), 0);
    ASSERT_TRUE(waitFor([] { return QVIDStatusAudioIn(0) >= 2; }));
    QVIDCloseAudioIn(handle);
    const auto recorded = takeAll(2);
    std::vector<uint8_t> expected(recorded.size());
    for (size_t i = 0; i < expected.size(); ++i)
        expected[i] = static_cast<uint8_t>(
            std::lround(128 + 64 * std::sin(2 * M_PI * 500 * static_cast<double>(i) / 8000)));
    // Skip the resampler's start-up; the tone must come through at 8 kHz and at its level.
    std::vector<uint8_t> tail(recorded.begin() + 200, recorded.end());
    std::vector<uint8_t> reference(expected.begin() + 200, expected.end());
    EXPECT_GT(audiotest::correlation(reference, tail, 16), 0.98);
    const auto [lo, hi] = std::minmax_element(tail.begin(), tail.end());
    EXPECT_NEAR(*hi - *lo, 128, 6);
}

TEST_F(ScriptedDeviceTest, SpeakerWritesExactlyWhatWasPlayedAndClosesItself)
{
    const auto path = tempPath("speaker.wav");
    setenv("OVELA_SPEAKER", ("wav:" + path).c_str(), 1);
    ASSERT_EQ(QVIDHasAudio(), 1);
    ASSERT_EQ(QVIDSetVolumeOut(100), 0);

    const auto first = audiotest::speechLike(800);
    const auto second = audiotest::speechLike(1200, 0.3);
    int32_t handle = 0;
    ASSERT_EQ(QVIDInitAudioOut(0, 0, &handle), 0);
    ASSERT_EQ(QVIDSetAudioOut(handle, first.data(), 800), 0);
    ASSERT_EQ(QVIDSetAudioOut(handle, second.data(), 1200), 0);
    EXPECT_EQ(QVIDStatusAudioOut(handle), 1);
    ASSERT_TRUE(waitFor([] { return QVIDStatusAudioOut(0) == 0; }));

    auto expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(audiotest::readWavU8(path), expected);

    // A later opening adds to the same file.
    ASSERT_EQ(QVIDInitAudioOut(0, 0, &handle), 0);
    ASSERT_EQ(QVIDSetAudioOut(handle, first.data(), 800), 0);
    ASSERT_TRUE(waitFor([] { return QVIDStatusAudioOut(0) == 0; }));
    expected.insert(expected.end(), first.begin(), first.end());
    EXPECT_EQ(audiotest::readWavU8(path), expected);
}

TEST_F(ScriptedDeviceTest, ClosingPlaybackDropsWhatIsQueued)
{
    const auto path = tempPath("cut.wav");
    setenv("OVELA_SPEAKER", ("wav:" + path).c_str(), 1);
    const std::vector<uint8_t> block(1600, 90);
    int32_t handle = 0;
    ASSERT_EQ(QVIDInitAudioOut(0, 0, &handle), 0);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(QVIDSetAudioOut(handle, block.data(), 1600), 0);
    EXPECT_EQ(QVIDCloseAudioOut(handle), 0);
    EXPECT_EQ(QVIDStatusAudioOut(handle), 0);
    EXPECT_EQ(QVIDSetAudioOut(handle, block.data(), 1600), QVNAUD20_ERR_BAD_HANDLE);
    EXPECT_LT(audiotest::readWavU8(path).size(), 10u * 1600u);
}

TEST_F(ScriptedDeviceTest, UnreadableMicrophoneFileFailsToOpen)
{
    setenv("OVELA_MIC", ("wav:" + tempPath("missing.wav")).c_str(), 1);
    int32_t handle = 0;
    EXPECT_EQ(QVIDInitAudioIn(0, 0, &handle), QVNAUD20_ERR_GENERAL);
    EXPECT_EQ(QVIDStatusAudioIn(0), 0);
}

TEST_F(ScriptedDeviceTest, NoDevicesWhenSwitchedOff)
{
    setenv("OVELA_MIC", "none", 1);
    setenv("OVELA_SPEAKER", "none", 1);
    int32_t handle = 0;
    EXPECT_EQ(QVIDHasAudio(), 0);
    EXPECT_EQ(QVIDInitAudioIn(0, 0, &handle), QVNAUD20_NO_DEVICE);
    EXPECT_EQ(QVIDInitAudioOut(0, 0, &handle), QVNAUD20_NO_DEVICE);
}

TEST_F(ScriptedDeviceTest, NullArgumentsAreRefused)
{
    EXPECT_EQ(QVIDInitAudioIn(0, 0, nullptr), QVNAUD20_ERR_BAD_PARAM);
    EXPECT_EQ(QVIDInitAudioOut(0, 0, nullptr), QVNAUD20_ERR_BAD_PARAM);
    EXPECT_EQ(QVIDGetAudioIn(nullptr), 0);
    EXPECT_EQ(QVIDSetAudioOut(0, nullptr, 10), QVNAUD20_ERR_BAD_PARAM);
    uint8_t sample = 128;
    EXPECT_EQ(QVIDSetAudioOut(0, &sample, -1), QVNAUD20_ERR_BAD_PARAM);
}

} // namespace
