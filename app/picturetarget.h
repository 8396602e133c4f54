// Where the video engine draws: the incoming picture of a call, the camera preview. The program's
// windows implement it; only the engine facade knows the engine's own drawing structures.
#pragma once

#include <cstdint>

class PictureTarget
{
public:
    virtual ~PictureTarget() = default;
    // A bottom-up BGR picture, valid only during the call, which may come from any thread.
    virtual void drawPicture(const uint8_t *bits, int width, int height) = 0;
};
