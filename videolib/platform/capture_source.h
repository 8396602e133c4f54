// A capture driver as the capture window sees it: a camera that, once started, produces frames
// at its own pace in one of the byte layouts the frame callback recognises. Two kinds exist:
// video capture devices (through libv4l2) and the scripted test-pattern camera.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace rxv
{

struct SourceFormat {
    int width = 0;
    int height = 0;
    int bits = 0;             // bits per pixel of the delivered layout
    uint32_t compression = 0; // 0 for RGB and grey, else the layout's FOURCC
};

class CaptureSource
{
public:
    enum class Wait {
        Frame,   // a frame is ready: frame() may be called, then doneWithFrame()
        Nothing, // timed out or woken: try again (or stop)
        Lost,    // the camera is gone; no frame will come any more
    };

    virtual ~CaptureSource() = default;

    virtual std::string name() const = 0;
    virtual SourceFormat format() const = 0;
    // Another frame size in the same layout; only while stopped. False when it is not offered
    // exactly (the format then stays as it was).
    virtual bool setSize(int width, int height) = 0;

    // Claims the camera and begins streaming; false when it is busy or gone.
    virtual bool start() = 0;
    // Ends streaming; called after the thread that waited for frames has ended.
    virtual void stop() = 0;

    // On the capture thread: waits until the camera's next frame, wake() or a timeout.
    virtual Wait waitFrame() = 0;
    // The ready frame in its listed layout (empty when the camera delivered too few bytes);
    // valid until doneWithFrame(). Costly work (conversion, rendering) happens only here.
    virtual std::span<const uint8_t> frame() = 0;
    virtual void doneWithFrame() = 0;
    // From any thread: makes a waiting waitFrame() return Nothing soon.
    virtual void wake() = 0;
};

// Driver index (0, 1, ...) opened and ready to start; null when there is no such driver or it
// cannot be opened. With OVELA_CAMERA=pattern:WxH:FORMAT, index 0 is the scripted camera and
// the devices follow.
std::unique_ptr<CaptureSource> connectCaptureDriver(int index);

} // namespace rxv
