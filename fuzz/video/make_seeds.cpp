// Writes the seed corpus of the video fuzz targets: small JPEG stills made by the engine itself,
// media packets of every tag, and the start of test-pattern frames for the frame callback. Run from
// the repository root:
//   build-video-fuzz/bin/video_fuzz_seeds fuzz/video/corpus
#include "rxvlib11.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace
{

void write(const std::string &path, const Bytes &bytes)
{
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

Bytes picture(int width, int height)
{
    Bytes p(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t *px = &p[(static_cast<size_t>(y) * width + x) * 3];
            px[0] = static_cast<uint8_t>(x * 255 / width);
            px[1] = static_cast<uint8_t>(y * 255 / height);
            px[2] = static_cast<uint8_t>((x ^ y) * 8);
        }
    return p;
}

Bytes jpeg(int width, int height, int quality)
{
    const Bytes p = picture(width, height);
    Bytes out(20000);
    const int32_t n =
        QVIDCompressStill(p.data(), static_cast<int16_t>(width), static_cast<int16_t>(height),
                          static_cast<int16_t>(quality), out.data(), 20000);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

// Mode byte of fuzz_video_process_data: tag index, truthful length field.
Bytes packet(unsigned tagIndex, const char *tag, const Bytes &payload)
{
    char field[8];
    std::snprintf(field, sizeof field, "%05zu", payload.size());
    Bytes p{static_cast<uint8_t>(0x80 | tagIndex)};
    p.insert(p.end(), tag, tag + 3);
    p.insert(p.end(), field, field + 5);
    p.insert(p.end(), payload.begin(), payload.end());
    return p;
}

// A colour stream frame of 80 x 60 (size code 1): header, luma, two chroma planes.
Bytes streamFrame()
{
    Bytes f(2 + 80 * 60 / 4 + 80 * 60 / 8);
    for (size_t i = 0; i < f.size(); ++i)
        f[i] = static_cast<uint8_t>(i * 29);
    f[0] = 6;
    f[1] = 1;
    return f;
}

Bytes literalRuns(const Bytes &raw)
{
    Bytes coded;
    for (size_t i = 0; i < raw.size(); i += 127) {
        const size_t n = raw.size() - i < 127 ? raw.size() - i : 127;
        coded.push_back(static_cast<uint8_t>(0x80 | n));
        coded.insert(coded.end(), raw.begin() + static_cast<long>(i),
                     raw.begin() + static_cast<long>(i + n));
    }
    return coded;
}

// Mode byte and the first bytes of a test-pattern frame for fuzz_video_capture_frame: the frame
// size index (into its table), compression on capture, and the stream type index (0, 6, 7, 9).
Bytes captureSeed(unsigned sizeIndex, bool coded, unsigned typeIndex, const char *layout, int width,
                  int height)
{
    Bytes frame(static_cast<size_t>(width) * height * 3);
    const int32_t n = QVIDTestPattern(layout, width, height, 40, frame.data(),
                                      static_cast<int32_t>(frame.size()));
    frame.resize(std::min<size_t>(n > 0 ? static_cast<size_t>(n) : 0, 3000));
    Bytes seed{static_cast<uint8_t>(sizeIndex | (coded ? 0x20 : 0) | (typeIndex << 6))};
    seed.insert(seed.end(), frame.begin(), frame.end());
    return seed;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string root = argc > 1 ? argv[1] : "fuzz/video/corpus";
    const std::string still = root + "/fuzz_video_uncompress_still/";
    const std::string packets = root + "/fuzz_video_process_data/";
    const Bytes small = jpeg(32, 24, 30);
    write(still + "colour-32x24-q30.jpg", small);
    write(still + "thumbnail-80x60-q85.jpg", jpeg(80, 60, 85));
    write(still + "cut-short.jpg", Bytes(small.begin(), small.begin() + small.size() / 2));

    write(packets + "kjp", packet(9, "KJP", small));
    write(packets + "aud", packet(0, "AUD", Bytes(34, 0x55)));
    write(packets + "txt", packet(5, "TXT", Bytes{'h', 'e', 'l', 'l', 'o'}));
    write(packets + "vid", packet(6, "VID", streamFrame()));
    write(packets + "ken", packet(7, "KEN", literalRuns(streamFrame())));
    write(packets + "den", packet(8, "DEN", Bytes{0x82, 6, 1, 0x10, 0x83, 1, 2, 3, 0x7F}));

    const std::string capture = root + "/fuzz_video_capture_frame/";
    std::filesystem::create_directories(capture);
    write(capture + "yuv12-320x240", captureSeed(14, false, 0, "yuv12", 320, 240));
    write(capture + "yvu9-160x120-colour", captureSeed(2, true, 1, "yvu9", 160, 120));
    write(capture + "yvu9-352x288-colour", captureSeed(13, true, 1, "yvu9", 352, 288));
    write(capture + "grey4-320x240-grey", captureSeed(6, true, 2, "grey4", 320, 240));
    write(capture + "rgb555-176x144", captureSeed(7, false, 0, "rgb555", 176, 144));
    write(capture + "rgb24-768x576-grey", captureSeed(24, true, 3, "rgb24", 768, 576));
    return 0;
}
