// alsa_device_test.cpp - the ALSA devices through the library's C interface, with an ALSA
// configuration of the test's own (ALSA_CONFIG_PATH): a machine without a sound card, ALSA's
// file plugin as the default device (what is played lands in a file, what is recorded comes
// from one) and the null device. Each test runs in a process of its own, so the configuration
// is read afresh.
#include "qvnaud20.h"
#include "testsupport.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

namespace
{

using audiotest::tempPath;
using audiotest::waitFor;

class AlsaDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        unsetenv("OVELA_MIC");
        unsetenv("OVELA_SPEAKER");
    }
    static void useConfig(const std::string &text)
    {
        const auto path = tempPath("asound.conf");
        std::ofstream(path) << text;
        setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    }
    static std::vector<uint8_t> readRaw(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_F(AlsaDeviceTest, NoSoundCardMeansNoDevice)
{
    useConfig("pcm.!default { type hw card 29 }\nctl.!default { type hw card 29 }\n");
    int32_t handle = 0;
    EXPECT_EQ(QVIDHasAudio(), 0);
    EXPECT_EQ(QVIDInitAudioIn(0, 0, &handle), QVNAUD20_NO_DEVICE);
    EXPECT_EQ(QVIDInitAudioOut(0, 0, &handle), QVNAUD20_NO_DEVICE);
    EXPECT_EQ(QVIDStatusAudioOut(0), 0);
}

TEST_F(AlsaDeviceTest, PlaysThroughTheDefaultDevice)
{
    const auto out = tempPath("played.raw");
    useConfig("pcm.!default { type file slave.pcm \"quiet\" file \"" + out +
              "\" format \"raw\" }\npcm.quiet { type null }\n");
    ASSERT_EQ(QVIDHasAudio(), 1);
    // The device closes itself once the last block has been heard, so the first block lasts
    // long enough (1.5 s) that the second one is queued before it ends on a busy machine too.
    const auto first = audiotest::speechLike(12000);
    const auto second = audiotest::speechLike(480, 0.9);
    int32_t handle = 0;
    ASSERT_EQ(QVIDInitAudioOut(0, 0, &handle), 0);
    ASSERT_EQ(QVIDSetAudioOut(handle, first.data(), 12000), 0);
    ASSERT_EQ(QVIDSetAudioOut(handle, second.data(), 480), 0);
    EXPECT_EQ(QVIDStatusAudioOut(0), 1);
    ASSERT_TRUE(waitFor([] { return QVIDStatusAudioOut(0) == 0; }));
    auto expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(readRaw(out), expected);
}

TEST_F(AlsaDeviceTest, RecordsFromTheDefaultDevice)
{
    const auto in = tempPath("recorded.raw");
    const auto speech = audiotest::speechLike(3200);
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char *>(speech.data()),
               static_cast<std::streamsize>(speech.size()));
    useConfig("pcm.!default { type file slave.pcm \"quiet\" file \"" + tempPath("unused.raw") +
              "\" infile \"" + in + "\" format \"raw\" }\npcm.quiet { type null }\n");
    int32_t handle = 0;
    ASSERT_EQ(QVIDInitAudioIn(0, 0, &handle), 0);
    ASSERT_TRUE(waitFor([] { return QVIDStatusAudioIn(0) >= 2; }));
    EXPECT_EQ(QVIDCloseAudioIn(handle), 0);
    std::vector<uint8_t> recorded(3200);
    ASSERT_EQ(QVIDGetAudioIn(recorded.data()), 1600);
    ASSERT_EQ(QVIDGetAudioIn(recorded.data() + 1600), 1600);
    EXPECT_EQ(recorded, speech);
}

TEST_F(AlsaDeviceTest, NamedNullDeviceKeepsRealTime)
{
    useConfig("pcm.quiet { type null }\n");
    setenv("OVELA_MIC", "alsa:quiet", 1);
    setenv("OVELA_SPEAKER", "alsa:quiet", 1);
    ASSERT_EQ(QVIDHasAudio(), 1);
    int32_t in = 0, out = 0;
    ASSERT_EQ(QVIDInitAudioIn(0, 0, &in), 0);
    ASSERT_EQ(QVIDInitAudioOut(0, 0, &out), 0);
    const std::vector<uint8_t> block(800, 128);
    ASSERT_EQ(QVIDSetAudioOut(out, block.data(), 800), 0);
    ASSERT_TRUE(waitFor([] { return QVIDStatusAudioOut(0) == 0 && QVIDStatusAudioIn(0) >= 1; }));
    // The null device answers at once; held to real time it cannot have filled all ten.
    EXPECT_LT(QVIDStatusAudioIn(0), 10);
    EXPECT_EQ(QVIDCloseAudioIn(in), 0);
}

TEST_F(AlsaDeviceTest, TheChosenDeviceIsListedOpenedAndGivesWayToTheEnvironment)
{
    const auto out = tempPath("headset.raw");
    useConfig("pcm.!default { type hw card 29 }\n"
              "pcm.headset { type file slave.pcm \"quiet\" file \"" +
              out +
              "\" format \"raw\" hint { show on description \"USB Headset\" } }\n"
              "pcm.quiet { type null }\n");
    const int32_t needed = QVIDGetAudioDevices(0, nullptr, 0);
    std::vector<char> names(size_t(needed), 'x');
    ASSERT_EQ(QVIDGetAudioDevices(0, names.data(), needed), needed);
    EXPECT_STREQ(names.data(), "default\tDefault sound device\nheadset\tUSB Headset\n");
    char small[12];
    QVIDGetAudioDevices(0, small, sizeof small);
    EXPECT_STREQ(small, "") << "only whole lines";

    EXPECT_EQ(QVIDHasAudio(), 0) << "the default device is missing";
    ASSERT_EQ(QVIDSetAudioDevice(0, "headset"), 0);
    ASSERT_EQ(QVIDHasAudio(), 1);
    int32_t handle = 0;
    ASSERT_EQ(QVIDInitAudioOut(0, 0, &handle), 0);
    const auto block = audiotest::speechLike(800);
    ASSERT_EQ(QVIDSetAudioOut(handle, block.data(), 800), 0);
    ASSERT_TRUE(waitFor([] { return QVIDStatusAudioOut(0) == 0; }));
    EXPECT_EQ(readRaw(out), block);

    setenv("OVELA_SPEAKER", "none", 1);
    EXPECT_EQ(QVIDHasAudio(), 0) << "the environment decides when it names a device";
    unsetenv("OVELA_SPEAKER");
    EXPECT_EQ(QVIDSetAudioDevice(0, std::string(256, 'n').c_str()), QVNAUD20_ERR_BAD_PARAM);
    EXPECT_EQ(QVIDHasAudio(), 1) << "a refused name changes nothing";
    EXPECT_EQ(QVIDSetAudioDevice(0, nullptr), 0);
    EXPECT_EQ(QVIDHasAudio(), 0) << "back to the default device";
}

} // namespace
