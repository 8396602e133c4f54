// Video capture devices as capture drivers, through libv4l2 so that any camera (YUYV, MJPEG,
// Bayer, ...) is delivered as BGR24 (turned bottom-up) or planar YUV 4:2:0, two of the layouts
// the frame callback recognises, at 320 x 240 where the camera offers it.
#pragma once

#include "capture_source.h"

#include <linux/videodev2.h>

#include <string>
#include <vector>

namespace rxv
{

class V4l2Source : public CaptureSource
{
public:
    // The device nodes that can capture video, in driver order (/dev/video0, 1, ...).
    static std::vector<std::string> devices();
    // The device opened and its format chosen; null when it cannot be opened or delivers none
    // of the layouts.
    static std::unique_ptr<V4l2Source> open(const std::string &path);

    ~V4l2Source() override;
    V4l2Source(const V4l2Source &) = delete;
    V4l2Source &operator=(const V4l2Source &) = delete;

    std::string name() const override { return m_card; }
    SourceFormat format() const override;
    bool setSize(int width, int height) override;
    bool start() override;
    void stop() override;
    Wait waitFrame() override;
    std::span<const uint8_t> frame() override;
    void doneWithFrame() override;
    void wake() override;

private:
    struct Mapping {
        void *start = nullptr;
        std::size_t length = 0;
    };

    V4l2Source(int fd, int wakeFd, std::string card);
    int control(unsigned long request, void *argument);
    bool negotiate();
    // Asks for a format with VIDIOC_TRY_FMT (only asks) or VIDIOC_S_FMT (sets it); true, with the
    // driver's answer, when the driver keeps the pixel layout.
    bool askFormat(unsigned long request, uint32_t pixelFormat, int width, int height,
                   v4l2_format *answer);
    bool tryFormat(uint32_t pixelFormat, int width, int height, bool exact);
    bool mapBuffers();
    void releaseBuffers();
    void setFrameRate();
    Wait failure();
    std::span<const uint8_t> packBgr(const uint8_t *data, std::size_t used);
    std::span<const uint8_t> packYuv(const uint8_t *data, std::size_t used);

    int m_fd;
    int m_wake;
    std::string m_card;
    uint32_t m_pixelFormat = 0;
    int m_width = 0;
    int m_height = 0;
    std::size_t m_bytesPerLine = 0;
    std::vector<Mapping> m_buffers;
    v4l2_buffer m_current{};
    bool m_holding = false;
    bool m_streaming = false;
    int m_failures = 0;
    std::vector<uint8_t> m_frame;
};

} // namespace rxv
