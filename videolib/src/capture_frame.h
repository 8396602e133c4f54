// The frame callback: what happens to every frame a camera delivers. The frame is converted on
// the camera's thread into a buffer of the camera's own, optionally coded as a stream frame, and
// then published as the engine's capture buffer under the capture lock, together with its size
// and the frame number, so that the program's thread never copies half a picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace rxv
{

// Buffers of one camera: the converted picture (kept for drawing) and, for compression on
// capture, room for the coder's input and output.
struct CaptureScratch {
    std::unique_ptr<uint8_t[]> picture;
    std::unique_ptr<uint8_t[]> coded;

    // Allocates the picture buffer; false when memory runs out.
    bool allocate();
};

// A converted picture, valid until the next frame goes through the same scratch buffers; null
// pixels when the frame carried nothing usable.
struct CapturedPicture {
    const uint8_t *pixels = nullptr;
    int width = 0;
    int height = 0;
};

// Handles one frame of bytesUsed bytes: converts it (by its byte count), hands the converted
// picture to `converted` (when given), publishes the result and advances the frame number (after
// 4096 comes 0). A frame without bytes is ignored. Frames of an unknown size publish "nothing
// usable" (converted size 0) and still count. A converted picture is published by exchanging the
// scratch buffer with the capture buffer rather than by copying it; the returned picture is
// where its pixels are then (valid until the next frame is published or the engine stops).
CapturedPicture captureFrame(CaptureScratch &scratch, const uint8_t *frame, std::size_t bytesUsed,
                             const std::function<void(const CapturedPicture &)> &converted = {});

} // namespace rxv
