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
    // The same, for a picture to be shown at another size (the camera's preview of a large
    // camera, scaled to the self view): a target that can take the smaller picture over more
    // cheaply than it scales the whole one does so.
    virtual void drawPictureScaled(const uint8_t *bits, int width, int height, int shownWidth,
                                   int shownHeight)
    {
        (void)shownWidth;
        (void)shownHeight;
        drawPicture(bits, width, height);
    }
};
