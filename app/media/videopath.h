// Camera pictures of a call: starting capture in the self view, the camera switch, taking the
// newest captured picture (with its caption) and making a "KJP" packet of it.
#pragma once

#include "videoengine.h"

#include <QObject>
#include <QSize>
#include <QStringList>
#include <vector>

struct Settings;
struct RXVCapture;
class PictureTarget;
class UserMessages;

class VideoPath : public QObject
{
    Q_OBJECT
public:
    static constexpr int PictureBytes = 921600;
    // Room for any JPEG the five-digit length field can announce: a detailed 640 x 480 camera
    // picture can pass 40,000 bytes, and a picture that does not fit would be dropped.
    static constexpr int JpegBytes = 99999;
    static constexpr int MaxDrivers = 10;

    // The picture sizes the program sends.
    static constexpr int SmallWidth = 160, SmallHeight = 120;
    static constexpr int Width = 320, Height = 240;
    static constexpr int LargeWidth = 640, LargeHeight = 480;
    // JPEG quality of pictures (low and high settings), a little lower at 640 x 480.
    static constexpr int LowQuality = 15, HighQuality = 30, LargeQualityStep = 3;
    // On a link too slow for every picture, the quality goes down in steps of LargeQualityStep,
    // to no lower than the lowest the program sends at all.
    static constexpr int LowestQuality = LowQuality - LargeQualityStep;
    static constexpr int QualitySteps = (HighQuality - LowestQuality) / LargeQualityStep;

    VideoPath(VideoEngine &engine, Settings &settings, UserMessages &messages,
              QObject *parent = nullptr);
    ~VideoPath() override;

    // Whether the video engine was loaded and started.
    void setEngineReady(bool on) { m_engineReady = on; }
    bool engineReady() const { return m_engineReady; }

    // The self view's load: creates the capture window in `preview`, finds the drivers and
    // starts the chosen one.
    void startCapture(PictureTarget *preview);
    // Stops the running driver and starts driver `index` (kept as DriverNum) as start-up does;
    // false (and a message) when it cannot start.
    bool switchDriver(int index);
    // The self view's unload: stops capture and lets the capture window go.
    void closeCapture();
    // Looks for the camera again when none captures (it was missing or busy at start, or went
    // away), or switches it back on; whether it captures now. Quiet: says nothing to the user.
    bool retryCapture();
    // The engine is gone: capture is unavailable, without another call into the engine.
    void forgetCapture();
    bool captureAvailable() const { return m_captureAvailable; }
    bool cameraOn() const { return m_cameraOn; }
    const QStringList &drivers() const { return m_drivers; }
    QString deviceName() const { return m_deviceName; }

    void switchCameraOn();
    void switchCameraOff();
    void setPreview(bool on);
    void grab();
    // Opens the capture driver's format dialog (after the video-format message).
    void openFormatDialog();
    // The capture driver's own dialogs, where it has them (captureFormat() tells).
    enum class DriverDialog { Display, Format, Source };
    void openDriverDialog(DriverDialog which);
    // The running capture's format; not valid without capture.
    VideoEngine::CaptureFormat captureFormat();
    // One new picture for the self view (the options dialog's activation).
    void grabForSelfView();

    // The 5-second step: pictures captured per second since the last step.
    double captureRateStep(double seconds);
    // The 5-second step: reads the capture format and reports a changed size.
    void captureSizeStep();

    // Takes the newest captured picture, with its caption; false when there is none.
    bool takePicture();
    // The taken picture as a "KJP" packet (empty when it cannot be sent); the picture is used up.
    QByteArray sendPicture(bool peerVersionMatch);
    // Steps below the chosen quality for the pictures sent from now on (0 to QualitySteps).
    void setQualityDrop(int steps) { m_qualityDrop = steps; }
    int quality(bool large) const;

    // A still for a quick message: the camera's newest picture reduced to 80 x 60, bottom-up
    // BGR in `thumbnail`, and as a JPEG of at most 8,000 bytes at quality 85; false when there is
    // no camera or no picture.
    static constexpr int ThumbWidth = 80, ThumbHeight = 60, ThumbQuality = 85, ThumbBytes = 8000;
    bool snapshot(std::vector<uint8_t> *thumbnail, QByteArray *jpeg);
    // A received still decoded for showing (bottom-up BGR); an empty size when it cannot be.
    QSize decodeStill(const QByteArray &jpeg, std::vector<uint8_t> *picture);

    // The taken picture (tests).
    const uint8_t *picture() const { return m_picture.data(); }
    int pictureWidth() const { return m_width; }
    int pictureHeight() const { return m_height; }
    // When the taken picture was asked of the camera (monotonic milliseconds, as
    // MonotonicClock::nowMs gives them).
    qint64 capturedMs() const { return m_capturedMs; }

    inline static const QString FormatMessage = QStringLiteral(
        "The video format is not correct.  Set your Video size to 160x120, 320x240, QCIF or CIF.  "
        "The following formats are supported: 12bit YUV, Indeo Raw, 4 bit (16 greys), 6 bit (64 "
        "greys), 8 bit (256 greys), 16 bit (Thousands of Colors, RGBH) and 24 bit (Millions of "
        "Colors, RGBT)");

signals:
    void cameraChanged(bool on);
    void captureAvailabilityChanged(bool available);
    // The capture size changed: the self view sizes itself for it (scale = capture / shown).
    void captureSizeChanged(int width, int height, double scaleX, double scaleY);

private:
    void startDriver(const QString &busyMessage);
    bool burnCaption();

    VideoEngine &m_engine;
    Settings &m_settings;
    UserMessages &m_messages;
    bool m_engineReady = false;
    RXVCapture *m_capture = nullptr;
    bool m_captureAvailable = false;
    bool m_cameraOn = false;
    QStringList m_drivers;
    QString m_deviceName = QStringLiteral("No Video Capture");
    int m_lastFrame = 0; // the engine counts captured frames from 0
    int m_rateFrame = 0;
    int m_captureWidth = 0, m_captureHeight = 0;
    std::vector<uint8_t> m_picture;
    std::vector<uint8_t> m_jpeg;
    int m_pictureBytes = 0, m_width = 0, m_height = 0;
    int m_qualityDrop = 0;
    qint64 m_lastGrabMs = 0, m_previousGrabMs = 0, m_capturedMs = 0;
    // The caption is rendered once per text, not once per picture.
    QString m_captionText;
    bool m_captionRendered = false;
    bool m_captionTooLong = false;
    std::vector<uint8_t> m_caption;
    int m_captionWidth = 0, m_captionHeight = 0;
};
