// gsm_bench.cpp - GSM encoding and decoding through the engine's exports beside raw libgsm on
// the same ten seconds of speech-like sound, as real-time factors, then the engine/raw ratios.
#include "qvnaud20.h"
#include "testsupport.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <gsm.h>
#include <map>
#include <string>
#include <vector>

namespace
{

constexpr int kChunk = 1600;
constexpr int kSeconds = 10;

struct Material {
    std::vector<uint8_t> samples = audiotest::speechLike(8000 * kSeconds);
    std::vector<gsm_signal> linear;           // what libgsm sees for the same samples
    std::vector<std::vector<uint8_t>> blocks; // engine blocks of 1,600 samples
    std::vector<gsm_byte> frames;             // the same frames for raw decoding

    Material()
    {
        QVIDStartGSM();
        for (size_t at = 0; at < samples.size(); at += kChunk) {
            std::vector<uint8_t> chunk(samples.begin() + at, samples.begin() + at + kChunk);
            std::vector<uint8_t> block(1 + 10 * 33);
            QVIDCompressAudioGSM(chunk.data(), kChunk, 0, block.data());
            frames.insert(frames.end(), block.begin() + 1, block.end());
            blocks.push_back(std::move(block));
        }
        // The engine's companded values are internal; widening the same samples to 16 bits
        // gives libgsm the same speech to code.
        for (uint8_t s : samples)
            linear.push_back(static_cast<gsm_signal>((s - 128) * 256));
    }
};

const Material &material()
{
    static const Material m;
    return m;
}

void setRate(benchmark::State &state)
{
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kSeconds, benchmark::Counter::kIsRate);
}

void EngineEncode(benchmark::State &state)
{
    const auto &m = material();
    std::vector<uint8_t> chunk(kChunk), block(1 + 10 * 33);
    for (auto _ : state) {
        for (size_t at = 0; at < m.samples.size(); at += kChunk) {
            std::copy_n(m.samples.begin() + static_cast<long>(at), kChunk, chunk.begin());
            benchmark::DoNotOptimize(QVIDCompressAudioGSM(chunk.data(), kChunk, 0, block.data()));
        }
    }
    setRate(state);
}

void RawEncode(benchmark::State &state)
{
    const auto &m = material();
    gsm coder = gsm_create();
    std::vector<gsm_signal> frame(160);
    gsm_byte out[33];
    for (auto _ : state) {
        for (size_t at = 0; at < m.linear.size(); at += 160) {
            std::copy_n(m.linear.begin() + static_cast<long>(at), 160, frame.begin());
            gsm_encode(coder, frame.data(), out);
            benchmark::DoNotOptimize(out);
        }
    }
    gsm_destroy(coder);
    setRate(state);
}

void EngineDecode(benchmark::State &state)
{
    const auto &m = material();
    std::vector<uint8_t> out(QVNAUD20_RECORD_BYTES);
    for (auto _ : state) {
        for (const auto &block : m.blocks)
            benchmark::DoNotOptimize(QVIDUnCompressAudioGSM(
                block.data(), static_cast<int16_t>(block.size()), out.data()));
    }
    setRate(state);
}

void RawDecode(benchmark::State &state)
{
    const auto &m = material();
    gsm coder = gsm_create();
    gsm_signal out[160];
    for (auto _ : state) {
        for (size_t at = 0; at < m.frames.size(); at += 33) {
            gsm_decode(coder, const_cast<gsm_byte *>(m.frames.data() + at), out);
            benchmark::DoNotOptimize(out);
        }
    }
    gsm_destroy(coder);
    setRate(state);
}

BENCHMARK(EngineEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(RawEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(EngineDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(RawDecode)->Unit(benchmark::kMillisecond);

// Keeps each run's time so that the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const auto &run : runs)
            if (run.run_type == Run::RT_Iteration)
                seconds[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto &t = reporter.seconds;
    for (const char *what : {"Encode", "Decode"}) {
        const std::string engine = std::string("Engine") + what, raw = std::string("Raw") + what;
        if (t.count(engine) && t.count(raw) && t[engine] > 0)
            std::printf("%s: engine %.0fx real time, raw libgsm %.0fx, engine/raw time %.3f\n",
                        what, kSeconds * 1000 / t[engine], kSeconds * 1000 / t[raw],
                        t[engine] / t[raw]);
    }
    benchmark::Shutdown();
    return 0;
}
