// The video engine facade.
#include "videoengine.h"

#include "enginebindings.h"
#include "picturetarget.h"

// The engine's drawing surface for one of the program's picture targets.
struct VideoEngine::Surface {
    RXVDrawSurface surface{sizeof(RXVDrawSurface), nullptr, &Surface::draw};
    PictureTarget *target = nullptr;

    static void draw(RXVDrawSurface *s, const uint8_t *bits, int32_t width, int32_t height, int32_t,
                     int32_t, int32_t shownWidth, int32_t shownHeight)
    {
        if (!bits || width < 1 || height < 1) return;
        PictureTarget *target = static_cast<Surface *>(s->user)->target;
        if (shownWidth == width && shownHeight == height)
            target->drawPicture(bits, width, height);
        else
            target->drawPictureScaled(bits, width, height, shownWidth, shownHeight);
    }
};

VideoEngine::VideoEngine(UserMessages &messages, QObject *parent)
    : EngineFacade(messages, FailureText, parent)
{
}

VideoEngine::~VideoEngine() = default;

void *VideoEngine::surfaceFor(PictureTarget *target)
{
    if (!target) return nullptr;
    std::unique_ptr<Surface> &s = m_surfaces[target];
    if (!s) {
        s = std::make_unique<Surface>();
        s->surface.user = s.get();
        s->target = target;
    }
    return &s->surface;
}

bool VideoEngine::initialize()
{
    return guard(false, [] { return qvd::QVIDInitialize(nullptr) == 0; });
}

void VideoEngine::terminate()
{
    guard(0, [] { return qvd::QVIDTerminate(); });
}

void VideoEngine::setCompType(int type)
{
    guard(0, [&] { return qvd::QVIDSetCompType(int16_t(type)); });
}

void VideoEngine::setCompOnFrame(bool on)
{
    guard(0, [&] { return qvd::QVIDSetCompOnFrame(int16_t(on ? 1 : 0)); });
}

void VideoEngine::startDrawing(PictureTarget *target, int width, int height)
{
    auto *surface = static_cast<RXVDrawSurface *>(surfaceFor(target));
    guard(0, [&] {
        auto *drawDib = qvd::QVIDDrawDibOpen();
        m_drawDib = drawDib;
        qvd::QVIDDrawDibBegin(drawDib, surface, width, height, width, height, 24);
        qvd::QVIDDrawDibRealize(drawDib, surface);
        return qvd::QVIDInitPlaybackEngine(drawDib, surface);
    });
}

void VideoEngine::stopDrawing()
{
    auto *drawDib = static_cast<RXVDrawDib *>(m_drawDib);
    m_drawDib = nullptr;
    if (!drawDib) return;
    guard(0, [&] {
        qvd::QVIDDrawDibEnd(drawDib);
        return qvd::QVIDDrawDibClose(drawDib);
    });
}

int32_t VideoEngine::processData(const uint8_t *packet, int32_t length, uint8_t *payload,
                                 int32_t capacity, int16_t *kind)
{
    *kind = 0;
    return guard(int32_t(-1),
                 [&] { return qvd::QVIDProcessData(packet, length, payload, capacity, kind); });
}

QSize VideoEngine::imageSize()
{
    int16_t w = 0, h = 0;
    guard(0, [&] { return qvd::RXVGetImageSize(&w, &h); });
    return QSize(w, h);
}

void VideoEngine::flushEvents()
{
    guard(0, [] { return qvd::QVIDFlushEvents(); });
}

int32_t VideoEngine::compressStill(const uint8_t *picture, int width, int height, int quality,
                                   uint8_t *jpeg, int32_t capacity)
{
    return guard(int32_t(-1), [&] {
        return qvd::QVIDCompressStill(picture, int16_t(width), int16_t(height), int16_t(quality),
                                      jpeg, capacity);
    });
}

QSize VideoEngine::uncompressStill(const QByteArray &jpeg, uint8_t *picture)
{
    int16_t w = 0, h = 0;
    const int32_t result = guard(int32_t(-1), [&] {
        return qvd::QVIDUnCompressStill(reinterpret_cast<const uint8_t *>(jpeg.constData()),
                                        int32_t(jpeg.size()), &w, &h, picture);
    });
    return result > 0 ? QSize(w, h) : QSize();
}

void VideoEngine::downSample(const uint8_t *source, int sourceWidth, int sourceHeight,
                             uint8_t *destination, int width, int height)
{
    guard(0, [&] {
        return qvd::QVIDDownSampleImg(source, sourceWidth, sourceHeight, destination, width,
                                      height);
    });
}

bool VideoEngine::textToImage(uint8_t *picture, int16_t *width, int16_t *height,
                              const QByteArray &text)
{
    return guard(false, [&] {
        return qvd::QVIDTextToImage(picture, width, height, text.constData(),
                                    int32_t(text.size())) != 0;
    });
}

void VideoEngine::burnImage(uint8_t *picture, int width, int height, const uint8_t *caption,
                            int captionWidth, int captionHeight, int x, int y)
{
    guard(0, [&] {
        return qvd::QVIDBurnImage(picture, width, height, caption, captionWidth, captionHeight, x,
                                  y);
    });
}

RXVCapture *VideoEngine::createCaptureWindow(PictureTarget *parent, int x, int y, int width,
                                             int height)
{
    auto *surface = static_cast<RXVDrawSurface *>(surfaceFor(parent));
    return guard(static_cast<RXVCapture *>(nullptr),
                 [&] { return qvd::QVIDCreateCaptureWindow(surface, x, y, width, height); });
}

void VideoEngine::destroyCaptureWindow(RXVCapture *capture)
{
    guard(0, [&] { return qvd::QVIDDestroyCaptureWindow(capture); });
}

bool VideoEngine::driverConnect(RXVCapture *capture, int index)
{
    return guard(false, [&] { return qvd::QVIDDriverConnect(capture, int16_t(index)) != 0; });
}

void VideoEngine::driverDisconnect(RXVCapture *capture)
{
    guard(0, [&] { return qvd::QVIDDriverDisconnect(capture); });
}

QString VideoEngine::driverName(RXVCapture *capture)
{
    char name[80] = {};
    guard(0, [&] { return qvd::QVIDDriverGetName(capture, name, int16_t(sizeof name)); });
    name[sizeof name - 1] = '\0';
    return QString::fromUtf8(name).trimmed();
}

QSize VideoEngine::captureSize(RXVCapture *capture)
{
    const CaptureFormat format = captureFormat(capture);
    return format.valid ? format.size : QSize();
}

VideoEngine::CaptureFormat VideoEngine::captureFormat(RXVCapture *capture)
{
    int16_t w = 0, h = 0, bits = 0, compression = 0, source = 0, format = 0, display = 0;
    const int32_t result = guard(int32_t(-1), [&] {
        return qvd::QVIDGetVideoSettings(capture, &w, &h, &bits, &compression, &source, &format,
                                         &display);
    });
    if (result != 0) return {};
    return {true, QSize(w, h), bits, quint16(compression), source != 0, format != 0, display != 0};
}

bool VideoEngine::initCapture(RXVCapture *capture)
{
    return guard(false, [&] { return qvd::QVIDInitCapture(nullptr, capture) == 0; });
}

void VideoEngine::closeCapture(RXVCapture *capture)
{
    guard(0, [&] { return qvd::QVIDCloseCapture(capture); });
}

void VideoEngine::preview(RXVCapture *capture, bool on)
{
    guard(0, [&] { return qvd::QVIDPreview(capture, int16_t(on ? 1 : 0)); });
}

void VideoEngine::previewRate(RXVCapture *capture, int rate)
{
    guard(0, [&] { return qvd::QVIDPreviewRate(capture, int16_t(rate)); });
}

void VideoEngine::previewScale(RXVCapture *capture, bool on)
{
    guard(0, [&] { return qvd::QVIDPreviewScale(capture, int16_t(on ? 1 : 0)); });
}

void VideoEngine::grabFrameNoStop(RXVCapture *capture)
{
    guard(0, [&] { return qvd::QVIDGrabFrameNoStop(capture); });
}

void VideoEngine::videoFormatDialog(RXVCapture *capture)
{
    guard(0, [&] { return qvd::QVIDDlgVideoFormat(capture); });
}

void VideoEngine::videoSourceDialog(RXVCapture *capture)
{
    guard(0, [&] { return qvd::QVIDDlgVideoSource(capture); });
}

void VideoEngine::videoDisplayDialog(RXVCapture *capture)
{
    guard(0, [&] { return qvd::QVIDDlgVideoDisplay(capture); });
}

void VideoEngine::setCapStatus(bool on)
{
    guard(0, [&] { return qvd::QVIDSetCapStatus(int16_t(on ? 1 : 0)); });
}

int VideoEngine::frameNum()
{
    return guard(0, [] { return int(qvd::QVIDGetFrameNum()); });
}

int32_t VideoEngine::getFrame(uint8_t *picture, int32_t capacity, int16_t *width, int16_t *height)
{
    return guard(int32_t(-1), [&] { return qvd::QVIDGetFrame(picture, capacity, width, height); });
}
