// The video engine as the program uses it. Each function forwards to the engine's export of the
// same name (bound at its first call). A missing library or export is reported to the user once,
// turns the facade unusable, and never raises: from then on every function does nothing and
// returns its failure value, so no caller (least of all a window's slot) sees an exception.
#pragma once

#include "enginefacade.h"

#include <QSize>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>

class PictureTarget;
class UserMessages;
struct RXVCapture;

class VideoEngine : public EngineFacade
{
    Q_OBJECT
public:
    explicit VideoEngine(UserMessages &messages, QObject *parent = nullptr);
    ~VideoEngine() override;

    // Lifecycle, and the drawing of received pictures on `target`.
    bool initialize();
    void terminate();
    void setCompType(int type);
    void setCompOnFrame(bool on);
    void startDrawing(PictureTarget *target, int width, int height);
    void stopDrawing();

    // Media packets: the packet's kind and a payload, or a picture drawn at once.
    int32_t processData(const uint8_t *packet, int32_t length, uint8_t *payload, int32_t capacity,
                        int16_t *kind);
    QSize imageSize();
    void flushEvents();

    // Stills and captions.
    int32_t compressStill(const uint8_t *picture, int width, int height, int quality, uint8_t *jpeg,
                          int32_t capacity);
    // A JPEG into a picture of at most PictureBytes; the picture's size, empty when undecodable.
    QSize uncompressStill(const QByteArray &jpeg, uint8_t *picture);
    void downSample(const uint8_t *source, int sourceWidth, int sourceHeight, uint8_t *destination,
                    int width, int height);
    // The text as a picture; false when it cannot be rendered.
    bool textToImage(uint8_t *picture, int16_t *width, int16_t *height, const QByteArray &text);
    void burnImage(uint8_t *picture, int width, int height, const uint8_t *caption,
                   int captionWidth, int captionHeight, int x, int y);

    // Capture: a capture window ties a driver (a camera) to a preview on `parent`.
    RXVCapture *createCaptureWindow(PictureTarget *parent, int x, int y, int width, int height);
    void destroyCaptureWindow(RXVCapture *capture);
    bool driverConnect(RXVCapture *capture, int index);
    void driverDisconnect(RXVCapture *capture);
    QString driverName(RXVCapture *capture);
    // The capture size; empty when the driver cannot tell.
    QSize captureSize(RXVCapture *capture);
    // The capture format and the driver's own dialogs; `valid` false when the driver cannot
    // tell.
    struct CaptureFormat {
        bool valid = false;
        QSize size;
        int bits = 0;
        int compression = 0;
        bool sourceDialog = false, formatDialog = false, displayDialog = false;
    };
    CaptureFormat captureFormat(RXVCapture *capture);
    bool initCapture(RXVCapture *capture);
    void closeCapture(RXVCapture *capture);
    void preview(RXVCapture *capture, bool on);
    void previewRate(RXVCapture *capture, int rate);
    void previewScale(RXVCapture *capture, bool on);
    void grabFrameNoStop(RXVCapture *capture);
    void videoFormatDialog(RXVCapture *capture);
    void videoSourceDialog(RXVCapture *capture);
    void videoDisplayDialog(RXVCapture *capture);
    void setCapStatus(bool on);
    int frameNum();
    int32_t getFrame(uint8_t *picture, int32_t capacity, int16_t *width, int16_t *height);

    inline static const QString FailureText =
        QStringLiteral("Failed to Load RXVLIB10.DLL, could be missing: ");

private:
    struct Surface;
    void *surfaceFor(PictureTarget *target);

    void *m_drawDib = nullptr;
    std::map<PictureTarget *, std::unique_ptr<Surface>> m_surfaces;
};
