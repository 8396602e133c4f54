// Benchmarks of the video engine: JPEG stills through the engine beside TurboJPEG on the same
// pictures, a "KJP" packet through QVIDProcessData, and stream-frame decoding per size. After the
// run a table gives each engine figure as a ratio of its TurboJPEG counterpart.
#include "fastest_reporter.h"
#include "picture_support.h"
#include "rxvlib11.h"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace rxvtest;

namespace
{

constexpr int32_t kJpegBuffer = 40000;

struct Case {
    int width, height, quality;
    std::string label() const
    {
        return std::to_string(width) + "x" + std::to_string(height) + "/q" +
               std::to_string(quality);
    }
};

Bytes engineJpeg(const Bytes &picture, const Case &c)
{
    Bytes jpeg(kJpegBuffer);
    const int32_t n = QVIDCompressStill(picture.data(), static_cast<int16_t>(c.width),
                                        static_cast<int16_t>(c.height),
                                        static_cast<int16_t>(c.quality), jpeg.data(), kJpegBuffer);
    jpeg.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return jpeg;
}

void engineCompress(benchmark::State &state, Case c)
{
    const Bytes picture = naturalPicture(c.width, c.height, 1);
    Bytes out(kJpegBuffer);
    for (auto _ : state) {
        const int32_t n = QVIDCompressStill(
            picture.data(), static_cast<int16_t>(c.width), static_cast<int16_t>(c.height),
            static_cast<int16_t>(c.quality), out.data(), kJpegBuffer);
        if (n <= 0) state.SkipWithError("compression failed");
        benchmark::DoNotOptimize(n);
    }
}

void turboCompress(benchmark::State &state, Case c)
{
    const Bytes picture = naturalPicture(c.width, c.height, 1);
    tjhandle tj = tjInitCompress();
    Bytes out(tjBufSize(c.width, c.height, TJSAMP_420));
    for (auto _ : state) {
        unsigned char *dst = out.data();
        unsigned long size = out.size();
        if (tjCompress2(tj, picture.data(), c.width, 0, c.height, TJPF_RGB, &dst, &size, TJSAMP_420,
                        c.quality, TJFLAG_NOREALLOC) != 0)
            state.SkipWithError("compression failed");
        benchmark::DoNotOptimize(size);
    }
    tjDestroy(tj);
}

void engineDecompress(benchmark::State &state, Case c)
{
    const Bytes jpeg = engineJpeg(naturalPicture(c.width, c.height, 1), c);
    Bytes picture(RXV_MAX_PICTURE_BYTES);
    for (auto _ : state) {
        int16_t w = 0, h = 0;
        if (QVIDUnCompressStill(jpeg.data(), static_cast<int32_t>(jpeg.size()), &w, &h,
                                picture.data()) <= 0)
            state.SkipWithError("decompression failed");
        benchmark::DoNotOptimize(picture.data());
    }
}

void turboDecompress(benchmark::State &state, Case c)
{
    const Bytes jpeg = engineJpeg(naturalPicture(c.width, c.height, 1), c);
    tjhandle tj = tjInitDecompress();
    Bytes picture(RXV_MAX_PICTURE_BYTES);
    for (auto _ : state) {
        if (tjDecompress2(tj, jpeg.data(), jpeg.size(), picture.data(), c.width, 0, c.height,
                          TJPF_RGB, 0) != 0)
            state.SkipWithError("decompression failed");
        benchmark::DoNotOptimize(picture.data());
    }
    tjDestroy(tj);
}

void ignoreDraw(RXVDrawSurface *, const uint8_t *bits, int32_t, int32_t, int32_t, int32_t, int32_t,
                int32_t)
{
    benchmark::DoNotOptimize(bits);
}

// A received "KJP" picture: parse, decode into the work buffer, draw on a surface that does
// nothing, as on a call's receiving side.
void processKjp(benchmark::State &state, Case c)
{
    QVIDInitialize(nullptr);
    RXVDrawSurface surface{sizeof(RXVDrawSurface), nullptr, ignoreDraw};
    RXVDrawDib *dd = QVIDDrawDibOpen();
    QVIDInitPlaybackEngine(dd, &surface);
    const Bytes p = packet("KJP", engineJpeg(naturalPicture(c.width, c.height, 1), c));
    Bytes payload(29000);
    for (auto _ : state) {
        int16_t kind = 0;
        if (QVIDProcessData(p.data(), static_cast<int32_t>(p.size()), payload.data(), 29000,
                            &kind) <= 0)
            state.SkipWithError("packet failed");
    }
    QVIDDrawDibClose(dd);
    QVIDTerminate();
}

// Uncoded stream frames ("VID") decoded into the ring; the ring is flushed each time so it never
// fills, which adds one allocation and release per picture as on a real stream.
void streamFrame(benchmark::State &state, int sizeCode, int width, int height)
{
    QVIDInitialize(nullptr);
    const size_t area = static_cast<size_t>(width) * height;
    Bytes frame(2 + area / 4 + area / 8);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(i * 37 + (i >> 7));
    frame[0] = 6;
    frame[1] = static_cast<uint8_t>(sizeCode);
    const Bytes p = packet("VID", frame);
    Bytes payload(29000);
    for (auto _ : state) {
        int16_t kind = 0;
        if (QVIDProcessData(p.data(), static_cast<int32_t>(p.size()), payload.data(), 29000,
                            &kind) != width)
            state.SkipWithError("stream frame failed");
        QVIDFlushEvents();
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
        std::printf("\n%-30s %12s %12s %8s\n", "JPEG path", "engine", "TurboJPEG", "ratio");
        for (const auto &[name, time] : m_times) {
            const auto slash = name.find('/');
            if (name.compare(slash + 1, 6, "engine") != 0) continue;
            const std::string what = name.substr(0, slash) + name.substr(slash + 7);
            const auto other =
                m_times.find(name.substr(0, slash) + "/turbojpeg" + name.substr(slash + 7));
            if (other == m_times.end()) continue;
            std::printf("%-30s %10.0fus %10.0fus %8.3f\n", what.c_str(), time, other->second,
                        time / other->second);
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    using benchsupport::add;
    const Case cases[] = {{320, 240, 15}, {320, 240, 30}, {640, 480, 15}, {640, 480, 30}};
    for (const Case &c : cases) {
        const std::string l = "/" + c.label();
        add("Compress/engine" + l, engineCompress, c);
        add("Compress/turbojpeg" + l, turboCompress, c);
        add("Decompress/engine" + l, engineDecompress, c);
        add("Decompress/turbojpeg" + l, turboDecompress, c);
    }
    add("ProcessData/KJP/320x240/q30", processKjp, Case{320, 240, 30});
    add("ProcessData/KJP/640x480/q27", processKjp, Case{640, 480, 27});
    const int sizes[][3] = {
        {1, 80, 60}, {2, 160, 120}, {3, 160, 240}, {5, 320, 240}, {6, 640, 480}};
    for (const auto &s : sizes)
        add("StreamFrame/VID/" + std::to_string(s[1]) + "x" + std::to_string(s[2]), streamFrame,
            s[0], s[1], s[2]);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
