// Benchmarks of the frame callback: every recognised frame format converted and published into
// the capture buffer, beside a plain memcpy of the picture it yields (the most any conversion
// could hope for: it has to write those bytes), in the same run. After the run a table gives
// each conversion as a ratio of its memcpy (with the plain loops beside the fast rows where a
// layout has them), and QVIDGetFrame's copy as the program pays it.
#include "capture_frame.h"
#include "capture_reference.h"
#include "capture_simd.h"
#include "fastest_reporter.h"
#include "rxvlib11.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

using captureref::Row;
using rxvtest::Bytes;

namespace
{

// A camera-like frame: a pattern frame where the layout has one, noise otherwise.
Bytes frameFor(const Row &row)
{
    Bytes frame(row.bytes);
    if (QVIDTestPattern(row.layout.c_str(), row.width, row.height, 17, frame.data(),
                        static_cast<int32_t>(frame.size())) < 0) {
        std::mt19937 random(row.bytes);
        for (uint8_t &b : frame)
            b = static_cast<uint8_t>(random());
    }
    return frame;
}

void callback(benchmark::State &state, Row row, bool fast)
{
    rxv::simd::allow(fast);
    QVIDInitialize(nullptr);
    QVIDSetCompOnFrame(0);
    const Bytes frame = frameFor(row);
    rxv::CaptureScratch scratch;
    for (auto _ : state) {
        const rxv::CapturedPicture picture = rxv::captureFrame(scratch, frame.data(), frame.size());
        benchmark::DoNotOptimize(picture.pixels);
    }
    QVIDTerminate();
    rxv::simd::allow(true);
}

void plainCopy(benchmark::State &state, Row row)
{
    const Bytes source(static_cast<size_t>(row.outWidth) * row.outHeight * 3, 1);
    Bytes destination(source.size());
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), source.size());
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
}

void getFrame(benchmark::State &state, int width)
{
    QVIDInitialize(nullptr);
    QVIDSetCompOnFrame(0);
    const int height = width * 3 / 4;
    const Bytes frame(static_cast<size_t>(width) * height * 3, 9);
    rxv::CaptureScratch scratch;
    rxv::captureFrame(scratch, frame.data(), frame.size());
    Bytes picture(RXV_MAX_PICTURE_BYTES);
    for (auto _ : state) {
        const int32_t n = QVIDGetFrame(picture.data(), RXV_MAX_PICTURE_BYTES, nullptr, nullptr);
        if (n != static_cast<int32_t>(frame.size())) state.SkipWithError("no picture");
        benchmark::DoNotOptimize(n);
    }
    QVIDTerminate();
}

// Sets the engine's figures beside their reference.
class RatioReporter : public benchsupport::FastestReporter
{
public:
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-22s %10s %10s %10s %10s %8s\n", "frame", "bytes", "callback", "plain",
                    "memcpy", "ratio");
        for (const Row &row : captureref::rows()) {
            const std::string name = captureref::rowName(row);
            const auto convert = m_times.find("Callback/" + name);
            const auto copy = m_times.find("Memcpy/" + name);
            if (convert == m_times.end() || copy == m_times.end()) continue;
            const auto plain = m_times.find("Plain/" + name);
            const std::string plainText =
                plain == m_times.end() ? "-" : std::to_string(std::lround(plain->second)) + "us";
            std::printf("%-22s %10u %8.0fus %10s %8.0fus %8.1f\n", name.c_str(), row.bytes,
                        convert->second, plainText.c_str(), copy->second,
                        convert->second / copy->second);
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    using benchsupport::add;
    for (const Row &row : captureref::rows()) {
        add("Callback/" + captureref::rowName(row), callback, row, true);
        // The plain loops beside the processor's fast rows, where a layout has them.
        if (row.layout == "yuv12" || row.layout == "yvu9" || row.layout == "rgb555")
            add("Plain/" + captureref::rowName(row), callback, row, false);
        add("Memcpy/" + captureref::rowName(row), plainCopy, row);
    }
    for (int width : {160, 320, 640})
        add("GetFrame/" + std::to_string(width), getFrame, width);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
