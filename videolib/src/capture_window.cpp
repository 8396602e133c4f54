// Capture windows: the engine's stand-in for the platform's video capture window. A window ties
// a capture driver to a place on the caller's drawing surface, runs the driver's stream on a
// thread of its own, and hands each frame that is grabbed or due for preview to the frame
// callback, drawing it on the surface while preview is on.
#include "capture_frame.h"
#include "capture_source.h"
#include "engine.h"
#include "rxvlib11.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

struct RXVCapture {
    // Where preview pictures go; fixed for the window's life.
    RXVDrawSurface *parent = nullptr;
    int32_t x = 0, y = 0, width = 0, height = 0;

    // Held by the window exports (the caller's thread), never by the capture thread, which only
    // reads the atomics below and owns scratch while it runs.
    std::mutex control;
    bool destroyed = false;
    bool running = false;
    std::unique_ptr<rxv::CaptureSource> source;
    rxv::CaptureScratch scratch;
    std::thread thread;

    std::atomic<bool> stopping = false;
    std::atomic<bool> lost = false;
    std::atomic<bool> grabPending = false;
    std::atomic<bool> preview = false;
    std::atomic<bool> scale = false;
    std::atomic<int32_t> previewIntervalMs = 0;

    ~RXVCapture() { stopCapture(); }

    bool startCapture();
    void stopCapture();
    void disconnect();

private:
    void run();
    void draw(const rxv::CapturedPicture &picture) const;
};

namespace
{

using Clock = std::chrono::steady_clock;
// A preview frame is taken when it is at most this early, so that a camera whose period is a
// hair longer than the preview interval is not cut to half its rate by jitter.
constexpr auto kPreviewSlack = std::chrono::milliseconds(5);

// Handles come from the program and may be stale: only windows in this table are touched. The
// table is a function-local static, so at unload it goes (stopping every camera thread) before
// the engine state those threads write to.
class Registry
{
public:
    ~Registry()
    {
        for (auto &[handle, window] : m_windows) {
            std::lock_guard lock(window->control);
            window->destroyed = true;
            window->disconnect();
        }
    }
    void add(const std::shared_ptr<RXVCapture> &window)
    {
        std::lock_guard lock(m_mutex);
        m_windows.emplace(window.get(), window);
    }
    std::shared_ptr<RXVCapture> find(RXVCapture *handle)
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_windows.find(handle);
        return it == m_windows.end() ? nullptr : it->second;
    }
    std::shared_ptr<RXVCapture> remove(RXVCapture *handle)
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_windows.find(handle);
        if (it == m_windows.end()) return nullptr;
        std::shared_ptr<RXVCapture> window = std::move(it->second);
        m_windows.erase(it);
        return window;
    }

private:
    std::mutex m_mutex;
    std::unordered_map<RXVCapture *, std::shared_ptr<RXVCapture>> m_windows;
};

Registry &registry()
{
    static Registry windows;
    return windows;
}

// Runs action on the live window of handle, under its control lock; bad is the result for a
// handle that is not a live window (and for running out of memory or threads).
template <class Action> int32_t withWindow(RXVCapture *handle, int32_t bad, Action action)
{
    try {
        const std::shared_ptr<RXVCapture> window = registry().find(handle);
        if (!window) return bad;
        std::lock_guard lock(window->control);
        if (window->destroyed) return bad;
        return action(*window);
    } catch (...) {
        return bad;
    }
}

int32_t clampSize(int32_t value)
{
    return std::clamp<int32_t>(value, 0, 32767);
}

} // namespace

bool RXVCapture::startCapture()
{
    if (running) return true;
    if (!source || !scratch.allocate() || !source->start()) return false;
    stopping = false;
    lost = false;
    grabPending = false;
    try {
        thread = std::thread(&RXVCapture::run, this);
    } catch (...) {
        source->stop();
        return false;
    }
    running = true;
    return true;
}

void RXVCapture::stopCapture()
{
    // A surface that called back into the window from its draw callback would wait for itself.
    if (!running || std::this_thread::get_id() == thread.get_id()) return;
    stopping = true;
    source->wake();
    thread.join();
    source->stop();
    running = false;
    stopping = false;
    grabPending = false;
}

void RXVCapture::disconnect()
{
    stopCapture();
    source.reset();
}

void RXVCapture::run()
{
    using Wait = rxv::CaptureSource::Wait;
    Clock::time_point nextPreview = Clock::now();
    while (!stopping) {
        const Wait wait = source->waitFrame();
        if (wait == Wait::Lost) {
            lost = true;
            return;
        }
        if (wait != Wait::Frame) continue;
        bool wanted = grabPending.exchange(false);
        const bool previewOn = preview;
        const auto interval = std::chrono::milliseconds(previewIntervalMs.load());
        const Clock::time_point now = Clock::now();
        if (previewOn && interval.count() > 0 && now + kPreviewSlack >= nextPreview) {
            wanted = true;
            nextPreview = nextPreview + interval < now ? now + interval : nextPreview + interval;
        }
        if (wanted && !stopping) {
            const std::span<const uint8_t> frame = source->frame();
            // The preview is drawn from the camera's own buffer before the picture is published:
            // once published, the program's thread may stop the engine and free it.
            rxv::captureFrame(scratch, frame.data(), frame.size(),
                              [&](const rxv::CapturedPicture &picture) {
                                  if (previewOn) draw(picture);
                              });
        }
        source->doneWithFrame();
    }
}

void RXVCapture::draw(const rxv::CapturedPicture &picture) const
{
    if (parent == nullptr) return;
    const bool scaled = scale;
    const int32_t w = scaled ? width : picture.width;
    const int32_t h = scaled ? height : picture.height;
    if (w < 1 || h < 1) return;
    parent->draw(parent, picture.pixels, picture.width, picture.height, x, y, w, h);
}

RXVCapture *QVIDCreateCaptureWindow(RXVDrawSurface *parent, int32_t x, int32_t y, int32_t width,
                                    int32_t height)
{
    if (parent != nullptr && (parent->size < sizeof(RXVDrawSurface) || parent->draw == nullptr))
        return nullptr;
    try {
        auto window = std::make_shared<RXVCapture>();
        window->parent = parent;
        window->x = clampSize(x);
        window->y = clampSize(y);
        window->width = clampSize(width);
        window->height = clampSize(height);
        registry().add(window);
        return window.get();
    } catch (...) {
        return nullptr;
    }
}

int32_t QVIDDestroyCaptureWindow(RXVCapture *capture)
{
    try {
        const std::shared_ptr<RXVCapture> window = registry().remove(capture);
        if (!window) return 0;
        std::lock_guard lock(window->control);
        window->destroyed = true;
        window->disconnect();
        return 1;
    } catch (...) {
        return 0;
    }
}

int32_t QVIDInitCapture(void *instance, RXVCapture *capture)
{
    (void)instance;
    return withWindow(capture, RXV_ERR_CAPTURE, [](RXVCapture &w) {
        if (!w.startCapture()) return RXV_ERR_CAPTURE;
        rxv::engine().captureStatus = 1;
        return 0;
    });
}

int32_t QVIDCloseCapture(RXVCapture *capture)
{
    return withWindow(capture, 0, [](RXVCapture &w) {
        w.stopCapture();
        rxv::engine().captureStatus = 0;
        return 0;
    });
}

int32_t QVIDDriverConnect(RXVCapture *capture, int16_t index)
{
    return withWindow(capture, 0, [index](RXVCapture &w) {
        w.disconnect();
        w.source = rxv::connectCaptureDriver(index);
        return w.source ? 1 : 0;
    });
}

int32_t QVIDDriverDisconnect(RXVCapture *capture)
{
    return withWindow(capture, 0, [](RXVCapture &w) {
        if (!w.source) return 0;
        w.disconnect();
        return 1;
    });
}

int32_t QVIDDriverGetName(RXVCapture *capture, char *name, int16_t size)
{
    return withWindow(capture, 0, [name, size](RXVCapture &w) {
        if (!w.source || name == nullptr || size < 1) return 0;
        const std::string full = w.source->name();
        std::size_t n = std::min<std::size_t>(full.size(), static_cast<std::size_t>(size - 1));
        // Never leave the first bytes of a cut UTF-8 character behind.
        while (n > 0 && n < full.size() && (static_cast<uint8_t>(full[n]) & 0xC0) == 0x80)
            --n;
        std::memcpy(name, full.data(), n);
        name[n] = '\0';
        return 1;
    });
}

int32_t QVIDPreview(RXVCapture *capture, int16_t flag)
{
    return withWindow(capture, 0, [flag](RXVCapture &w) {
        w.preview = flag != 0;
        return w.source ? 1 : 0;
    });
}

int32_t QVIDPreviewRate(RXVCapture *capture, int16_t rate)
{
    return withWindow(capture, 0, [rate](RXVCapture &w) {
        w.previewIntervalMs = rate > 0 ? 1000 / rate : 0;
        return w.source ? 1 : 0;
    });
}

int32_t QVIDPreviewScale(RXVCapture *capture, int16_t flag)
{
    return withWindow(capture, 0, [flag](RXVCapture &w) {
        w.scale = flag != 0;
        return w.source ? 1 : 0;
    });
}

int32_t QVIDGetVideoSettings(RXVCapture *capture, int16_t *width, int16_t *height, int16_t *bits,
                             int16_t *compression, int16_t *sourceDialog, int16_t *formatDialog,
                             int16_t *displayDialog)
{
    // A bad handle reads as "format cannot be read": 0 would claim outputs that were never written.
    return withWindow(capture, RXV_ERR_NO_DRIVER, [=](RXVCapture &w) {
        if (!w.source) return RXV_ERR_NO_DRIVER;
        const rxv::SourceFormat f = w.source->format();
        if (width) *width = static_cast<int16_t>(f.width);
        if (height) *height = static_cast<int16_t>(f.height);
        if (bits) *bits = static_cast<int16_t>(f.bits);
        if (compression) *compression = static_cast<int16_t>(f.compression & 0xFFFF);
        // Neither drivers here have dialogs of their own.
        if (sourceDialog) *sourceDialog = 0;
        if (formatDialog) *formatDialog = 0;
        if (displayDialog) *displayDialog = 0;
        return 0;
    });
}

int32_t QVIDSetVideoFormat(RXVCapture *capture)
{
    return withWindow(capture, 0, [](RXVCapture &w) {
        if (!w.source) return 0;
        const bool wasRunning = w.running;
        w.stopCapture(); // a streaming camera cannot change its size
        const bool accepted = w.source->setSize(320, 240) || w.source->setSize(352, 288);
        if (wasRunning) w.startCapture();
        return accepted ? 1 : 0;
    });
}

int32_t QVIDGrabFrameNoStop(RXVCapture *capture)
{
    return withWindow(capture, 0, [](RXVCapture &w) {
        if (!w.running || w.lost) return 0;
        w.grabPending = true;
        return 1;
    });
}

// The drivers offer no dialogs of their own (QVIDGetVideoSettings reports none), so there is
// nothing to show.
int32_t QVIDDlgVideoFormat(RXVCapture *capture)
{
    return withWindow(capture, 0, [](RXVCapture &) { return 0; });
}

int32_t QVIDDlgVideoSource(RXVCapture *capture)
{
    return withWindow(capture, 0, [](RXVCapture &) { return 0; });
}

int32_t QVIDDlgVideoDisplay(RXVCapture *capture)
{
    return withWindow(capture, 0, [](RXVCapture &) { return 0; });
}
