// wave_engine_test.cpp - the engine's queues and counters with devices of our own: recording
// order, the recorded-buffer queue when full, playback counting and self-closing, the races
// between the device threads and the caller, volume, and the companding tables.
#include "fakedevices.h"
#include "mulaw.h"
#include "recordqueue.h"
#include "testsupport.h"
#include "waveengine.h"

#include <gtest/gtest.h>
#include <random>

namespace
{

using namespace audiotest;

class WaveEngineTest : public ::testing::Test
{
protected:
    std::shared_ptr<FakeWorld> world = std::make_shared<FakeWorld>();
    std::unique_ptr<WaveEngine> engine =
        std::make_unique<WaveEngine>(std::make_unique<FakeFactory>(world));
};

TEST(RecordQueueTest, KeepsTheOldestWhenFull)
{
    RecordQueue queue;
    uint8_t data[1600];
    for (int i = 0; i < 30; ++i) {
        data[0] = static_cast<uint8_t>(i);
        EXPECT_EQ(queue.push(data, 100 + i), i < RecordQueue::kSlots) << i;
    }
    EXPECT_EQ(queue.count(), RecordQueue::kSlots);
    for (int i = 0; i < RecordQueue::kSlots; ++i) {
        ASSERT_EQ(queue.pop(data), static_cast<size_t>(100 + i));
        ASSERT_EQ(data[0], i);
    }
    EXPECT_EQ(queue.pop(data), 0u);
    // Room again after taking: the ring carries on across its end.
    EXPECT_TRUE(queue.push(data, 1600));
    EXPECT_FALSE(queue.push(data, 0));
    EXPECT_EQ(queue.count(), 1);
}

TEST_F(WaveEngineTest, RecordsTenBuffersInOrderThenWaitsForTheCaller)
{
    int32_t handle = 0;
    ASSERT_EQ(engine->initIn(&handle), 0);
    EXPECT_NE(handle, 0);
    ASSERT_TRUE(waitFor([&] { return engine->statusIn() == 10; }));
    EXPECT_EQ(engine->recordingBuffersQueued(), 0u);
    uint8_t buffer[1600];
    for (long k = 0; k < 10; ++k) {
        ASSERT_EQ(engine->getIn(buffer), 1600);
        ASSERT_EQ(firstWordOf(buffer, 1600), k * 400) << k;
        // Each buffer taken goes back to the device, which fills it again.
        ASSERT_TRUE(waitFor([&] { return engine->statusIn() == 10; }));
    }
    EXPECT_EQ(engine->closeIn(handle), 0);
}

TEST_F(WaveEngineTest, OverflowDropsNewerBuffers)
{
    // Restarting tops the device up to ten buffers while the taken ones wait: 30 buffers for
    // 25 slots, so the last five recorded are the ones to go.
    int32_t handle = 0;
    ASSERT_EQ(engine->initIn(&handle), 0);
    ASSERT_TRUE(waitFor([&] { return engine->statusIn() == 10; }));
    for (int round = 0; round < 2; ++round) {
        engine->resetIn(handle);
        ASSERT_EQ(engine->startIn(handle), 0);
        ASSERT_TRUE(waitFor([&] { return engine->recordingBuffersQueued() == 0; }));
    }
    ASSERT_TRUE(waitFor([&] { return engine->statusIn() == 25; }));
    engine->closeIn(handle);
    uint8_t buffer[1600];
    long previous = -1;
    for (int i = 0; i < 25; ++i) {
        ASSERT_EQ(engine->getIn(buffer), 1600);
        const long first = firstWordOf(buffer, 1600);
        ASSERT_GT(first, previous);
        if (i == 0) {
            ASSERT_EQ(first, 0); // the oldest buffer is still there
        }
        previous = first;
    }
    EXPECT_EQ(engine->getIn(buffer), 0);
}

TEST_F(WaveEngineTest, ClosingKeepsThePartlyRecordedBuffer)
{
    world->captureLimit = 1600 + 1000;
    int32_t handle = 0;
    ASSERT_EQ(engine->initIn(&handle), 0);
    ASSERT_TRUE(waitFor([&] { return world->captured.load() == 2600; }));
    ASSERT_EQ(engine->closeIn(handle), 0);
    EXPECT_EQ(engine->statusIn(), 2);
    uint8_t buffer[1600];
    EXPECT_EQ(engine->getIn(buffer), 1600);
    EXPECT_EQ(engine->getIn(buffer), 1000);
    EXPECT_EQ(firstWordOf(buffer, 1000), 400);
    EXPECT_EQ(engine->recordingBuffersQueued(), 0u);
}

TEST_F(WaveEngineTest, TakingFromAnEmptyQueueLeavesTheDestinationAlone)
{
    uint8_t buffer[4] = {1, 2, 3, 4};
    EXPECT_EQ(engine->getIn(buffer), 0);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(engine->getIn(nullptr), 0);
}

TEST_F(WaveEngineTest, OpenFailuresAndStaleHandles)
{
    int32_t handle = 0;
    world->captureOpenResult = DeviceResult::kNoDevice;
    world->playbackOpenResult = DeviceResult::kBadFormat;
    world->playbackExists = false;
    EXPECT_EQ(engine->hasAudio(), 0);
    EXPECT_EQ(engine->initIn(&handle), -10);
    EXPECT_EQ(engine->initOut(&handle), 32);
    EXPECT_EQ(engine->initIn(nullptr), DeviceResult::kBadParam);
    EXPECT_EQ(engine->closeIn(1), DeviceResult::kBadHandle);
    EXPECT_EQ(engine->stopIn(1), DeviceResult::kBadHandle);
    EXPECT_EQ(engine->closeOut(1), DeviceResult::kBadHandle);
    EXPECT_EQ(engine->statusOut(), 0);
    uint8_t sample = 128;
    EXPECT_EQ(engine->setOut(&sample, 1), DeviceResult::kBadHandle);
}

TEST_F(WaveEngineTest, SecondOpenSharesTheDevice)
{
    int32_t first = 0, second = 0;
    ASSERT_EQ(engine->initIn(&first), 0);
    ASSERT_EQ(engine->initIn(&second), 0);
    EXPECT_EQ(first, second);
    ASSERT_EQ(engine->initOut(&first), 0);
    ASSERT_EQ(engine->initOut(&second), 0);
    EXPECT_EQ(first, second);
}

// Many buffers through the queue while the device thread records flat out: every buffer must
// be whole and in order, and the device must never run dry for good (a lost buffer would
// starve it, and the wait would fail).
TEST_F(WaveEngineTest, StressRecordingAgainstTheCaller)
{
    int32_t handle = 0;
    ASSERT_EQ(engine->initIn(&handle), 0);
    uint8_t buffer[1600];
    long previous = -1;
    int taken = 0;
    ASSERT_TRUE(waitFor(
        [&] {
            while (engine->statusIn() > 0 && taken < 3000) {
                const int n = engine->getIn(buffer);
                EXPECT_EQ(n, 1600);
                const long first = firstWordOf(buffer, static_cast<size_t>(n));
                EXPECT_GT(first, previous);
                previous = first;
                ++taken;
            }
            return taken == 3000;
        },
        std::chrono::seconds(120)))
        << "taken " << taken << " waiting " << engine->statusIn() << " in device "
        << engine->recordingBuffersQueued();
    EXPECT_EQ(engine->closeIn(handle), 0);
}

TEST_F(WaveEngineTest, PlaysEveryBlockThenClosesItself)
{
    world->fast = false; // in real time, so that all three are queued before the first ends
    int32_t handle = 0;
    ASSERT_EQ(engine->initOut(&handle), 0);
    EXPECT_EQ(engine->statusOut(), 1);
    std::vector<uint8_t> expected;
    for (int b = 0; b < 3; ++b) {
        std::vector<uint8_t> block(500 + b, static_cast<uint8_t>(10 + b));
        ASSERT_EQ(engine->setOut(block.data(), static_cast<int16_t>(block.size())), 0);
        expected.insert(expected.end(), block.begin(), block.end());
    }
    ASSERT_TRUE(waitFor([&] { return engine->statusOut() == 0; }));
    EXPECT_EQ(world->playedCopy(), expected);
    uint8_t sample = 128;
    EXPECT_EQ(engine->setOut(&sample, 1), DeviceResult::kBadHandle);
    EXPECT_EQ(engine->closeOut(handle), DeviceResult::kBadHandle);
}

TEST_F(WaveEngineTest, StopDropsQueuedBlocksAndTheDeviceCloses)
{
    world->fast = false; // real time, so the blocks are still queued when we stop
    int32_t handle = 0;
    ASSERT_EQ(engine->initOut(&handle), 0);
    std::vector<uint8_t> block(1600, 200);
    for (int b = 0; b < 10; ++b)
        ASSERT_EQ(engine->setOut(block.data(), 1600), 0);
    EXPECT_EQ(engine->stopOut(handle), 0);
    ASSERT_TRUE(waitFor([&] { return engine->statusOut() == 0; }));
    EXPECT_LT(world->playedCopy().size(), 10u * 1600u);
}

// Blocks submitted one by one while the device keeps finishing them and closing itself: each
// accepted block is played exactly once and in order; a refused one (the device had closed)
// is submitted again on a new device, as the program does.
TEST_F(WaveEngineTest, StressSubmittingAgainstSelfClosing)
{
    std::mt19937 random(7);
    std::vector<uint8_t> expected;
    int32_t handle = 0;
    ASSERT_EQ(engine->initOut(&handle), 0);
    for (int b = 0; b < 3000; ++b) {
        std::vector<uint8_t> block(random() % 300, static_cast<uint8_t>(b));
        for (int attempt = 0;; ++attempt) {
            ASSERT_LT(attempt, 3);
            const int result = engine->setOut(block.data(), static_cast<int16_t>(block.size()));
            if (result == 0) break;
            ASSERT_EQ(result, DeviceResult::kBadHandle);
            ASSERT_EQ(engine->initOut(&handle), 0);
        }
        expected.insert(expected.end(), block.begin(), block.end());
        if (random() % 4 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 200));
    }
    ASSERT_TRUE(waitFor([&] { return engine->statusOut() == 0; }));
    EXPECT_EQ(world->playedCopy(), expected);
}

TEST_F(WaveEngineTest, VolumeScalesWhatIsPlayed)
{
    world->fast = false;
    int32_t handle = 0;
    const uint8_t samples[] = {0, 64, 128, 200, 255};
    ASSERT_EQ(engine->setVolume(50), 0);
    ASSERT_EQ(engine->initOut(&handle), 0);
    ASSERT_EQ(engine->setOut(samples, 5), 0);
    ASSERT_EQ(engine->setVolume(0), 0);
    ASSERT_EQ(engine->setOut(samples, 5), 0);
    ASSERT_EQ(engine->setVolume(100), 0);
    ASSERT_EQ(engine->setOut(samples, 5), 0);
    ASSERT_TRUE(waitFor([&] { return engine->statusOut() == 0; }));
    const std::vector<uint8_t> expected = {65,  97,  128, 163, 191, 128, 128, 128,
                                           128, 128, 0,   64,  128, 200, 255};
    EXPECT_EQ(world->playedCopy(), expected);
}

struct VolumeCase {
    int set;
    int read;
};
class VolumeTest : public WaveEngineTest, public ::testing::WithParamInterface<VolumeCase>
{
};

TEST_P(VolumeTest, ClampsAndReadsBack)
{
    EXPECT_EQ(engine->setVolume(GetParam().set), 0);
    EXPECT_EQ(engine->volume(), GetParam().read);
}

INSTANTIATE_TEST_SUITE_P(Values, VolumeTest,
                         ::testing::Values(VolumeCase{150, 100}, VolumeCase{-5, 0},
                                           VolumeCase{0, 0}, VolumeCase{1, 1}, VolumeCase{50, 50},
                                           VolumeCase{99, 99}, VolumeCase{100, 100},
                                           VolumeCase{INT32_MIN, 0}));

TEST(MuLawTest, MatchesLibgsmTablesAndRoundTripsSamples)
{
    // Entries of libgsm's expansion table, including ones where plain scaling would be off.
    EXPECT_EQ(MuLaw::toLinear(0), -32256);
    EXPECT_EQ(MuLaw::toLinear(3), -29172);
    EXPECT_EQ(MuLaw::toLinear(127), 0);
    EXPECT_EQ(MuLaw::toLinear(128), 32256);
    EXPECT_EQ(MuLaw::toLinear(132), 28143);
    EXPECT_EQ(MuLaw::toLinear(239), 132);
    EXPECT_EQ(MuLaw::toLinear(255), 0);
    EXPECT_EQ(MuLaw::toCode(0), 0xFF);
    EXPECT_EQ(MuLaw::toCode(-32768), 0x00);
    EXPECT_EQ(MuLaw::toCode(32767), 0x80);
    EXPECT_EQ(MuLaw::fromSample(128), 120);
    for (int u = 0; u < 256; ++u) {
        const int back = MuLaw::toSample(MuLaw::fromSample(static_cast<uint8_t>(u)));
        // Exact near silence, within the mu-law step further out.
        ASSERT_NEAR(back, u, std::abs(u - 128) < 16 ? 0 : 4) << u;
    }
}

} // namespace
