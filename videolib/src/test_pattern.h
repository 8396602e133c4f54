// The scripted camera's moving test pattern: a picture that is a pure function of its size and
// frame number, written in any of the byte layouts a capture driver may deliver. Tests and
// demos use it to run the whole capture path without a camera, and to check on the far side of a
// call that what arrived is what was sent (the frame number is drawn into the picture).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rxv
{

enum class PatternLayout { Rgb24, Rgb555, Yuv12, Yvu9, Grey8, Grey4 };

// Layout of a name ("rgb24", "rgb555", "yuv12", "yvu9", "grey8", "grey4"); false for others.
bool patternLayoutFromName(const char *name, PatternLayout &layout);
const char *patternLayoutName(PatternLayout layout);

// Bytes of one frame, 0 when the layout cannot hold a frame of that size (sides from 1 to 2048;
// grey4 needs an even width, yuv12 even sides, yvu9 sides divisible by 4).
std::size_t patternFrameBytes(PatternLayout layout, int width, int height);

// What a driver reports for the layout: bits per pixel and the compression code (0 for RGB and
// grey, the FOURCC "I420" or "YVU9" for the planar layouts).
int patternBits(PatternLayout layout);
uint32_t patternCompression(PatternLayout layout);

// Writes frame frameNumber into out (patternFrameBytes long). scene is working room of the
// caller's, kept between calls to save an allocation per frame.
void makePatternFrame(PatternLayout layout, int width, int height, uint32_t frameNumber,
                      uint8_t *out, std::vector<uint8_t> &scene);

} // namespace rxv
