// Camera pictures of a call on the video engine.
#include "videopath.h"

#include "calls/callsession.h"
#include "calls/mediasession.h"
#include "platform/usermessages.h"
#include "qvdlldef.h"
#include "qvidutil.h"
#include "shell/settings.h"

#include <cmath>
#include <cstring>

VideoPath::VideoPath(Settings &settings, CallSession &session, UserMessages &messages,
                     QObject *parent)
    : QObject(parent), m_settings(settings), m_session(session), m_messages(messages),
      m_picture(PictureBytes), m_jpeg(JpegBytes)
{
}

VideoPath::~VideoPath() = default;

void VideoPath::StartCapture(RXVDrawSurface *parent)
{
    if (!m_engineReady) {
        // Without the engine there is no capture; the windows still learn so.
        forgetCapture();
        return;
    }
    qvd::QVIDSetCompOnFrame(0);
    m_capture = qvd::QVIDCreateCaptureWindow(parent, 0, 0, 320, 240);

    m_drivers.clear();
    for (int i = 0; m_capture && i < MaxDrivers && qvd::QVIDDriverConnect(m_capture, int16_t(i));
         ++i) {
        char name[80] = {};
        qvd::QVIDDriverGetName(m_capture, name, int16_t(sizeof name));
        name[sizeof name - 1] = '\0';
        m_drivers << QString::fromUtf8(name).trimmed();
        qvd::QVIDDriverDisconnect(m_capture);
    }

    const bool connected = m_capture && qvd::QVIDDriverConnect(m_capture, m_settings.DriverNum);
    m_captureAvailable = false;
    if (connected) {
        m_deviceName = m_drivers.value(m_settings.DriverNum);
        int16_t w = 0, h = 0, bits = 0, compression = 0, source = 0, format = 0, display = 0;
        qvd::QVIDGetVideoSettings(m_capture, &w, &h, &bits, &compression, &source, &format,
                                  &display);
        if (w >= 321) qvd::QVIDPreviewScale(m_capture, 1);
        qvd::QVIDPreviewRate(m_capture, 0);
        if (qvd::QVIDInitCapture(nullptr, m_capture) != 0) {
            m_messages.showErrorMessage(QStringLiteral(
                "Another application is using the Video device or has failed to properly release "
                "the Video Capture device driver.  Close the application or Reboot your computer "
                "and run OVELA again to fix this problem."));
        } else {
            m_captureAvailable = true;
            m_cameraOn = true;
            qvd::QVIDSetCapStatus(1);
            qvd::QVIDSetCompOnFrame(0);
        }
    }
    if (!m_captureAvailable) {
        m_cameraOn = false;
        m_deviceName = QStringLiteral("No Video Capture");
        if (!connected) qvd::QVIDSetCapStatus(0);
    }
    emit captureAvailabilityChanged(m_captureAvailable);
    emit cameraChanged(m_cameraOn);
}

void VideoPath::closeCapture()
{
    if (!m_capture) return;
    if (m_captureAvailable) {
        qvd::QVIDCloseCapture(m_capture);
        qvd::QVIDDriverDisconnect(m_capture);
    }
    qvd::QVIDDestroyCaptureWindow(m_capture);
    m_capture = nullptr;
    m_captureAvailable = false;
    m_cameraOn = false;
}

void VideoPath::forgetCapture()
{
    m_capture = nullptr;
    m_captureAvailable = false;
    m_cameraOn = false;
    m_deviceName = QStringLiteral("No Video Capture");
    emit captureAvailabilityChanged(false);
    emit cameraChanged(false);
}

void VideoPath::CameraOn()
{
    if (!m_captureAvailable) return;
    qvd::QVIDGrabFrameNoStop(m_capture);
    qvd::QVIDSetCapStatus(1);
    m_cameraOn = true;
    emit cameraChanged(true);
    TakePicture();
}

void VideoPath::CameraOff()
{
    if (m_capture) qvd::QVIDPreviewRate(m_capture, 0);
    if (m_engineReady) qvd::QVIDSetCapStatus(0);
    m_cameraOn = false;
    emit cameraChanged(false);
}

void VideoPath::setPreview(bool on)
{
    if (m_capture) qvd::QVIDPreview(m_capture, on ? 1 : 0);
}

void VideoPath::grab()
{
    if (!m_captureAvailable || !m_cameraOn) return;
    // The picture found on a tick was asked for by the grab before this one.
    m_previousGrabMs = m_lastGrabMs;
    m_lastGrabMs = QVIDUTIL::monotonicMs();
    qvd::QVIDGrabFrameNoStop(m_capture);
}

void VideoPath::openFormatDialog()
{
    if (m_capture) qvd::QVIDDlgVideoFormat(m_capture);
}

double VideoPath::captureRateStep(double seconds)
{
    if (!m_engineReady) return 0;
    const int now = qvd::QVIDGetFrameNum();
    int frames = now - m_rateFrame;
    if (now < m_rateFrame) frames += 4096;
    m_rateFrame = now;
    return frames / seconds;
}

void VideoPath::captureSizeStep()
{
    if (!m_captureAvailable) return;
    int16_t w = 0, h = 0, bits = 0, compression = 0, source = 0, format = 0, display = 0;
    if (qvd::QVIDGetVideoSettings(m_capture, &w, &h, &bits, &compression, &source, &format,
                                  &display) != 0 ||
        (w == m_captureWidth && h == m_captureHeight) || w < 1 || h < 1)
        return;
    m_captureWidth = w;
    m_captureHeight = h;
    const bool scaled = w > 320;
    qvd::QVIDPreviewScale(m_capture, scaled ? 1 : 0);
    emit captureSizeChanged(w, h, scaled ? w / 320.0 : 1.0, scaled ? h / 240.0 : 1.0);
}

bool VideoPath::TakePicture()
{
    m_pictureBytes = 0;
    if (!m_captureAvailable) return false;
    const int frame = qvd::QVIDGetFrameNum();
    if (frame == m_lastFrame) return false;
    m_lastFrame = frame;
    int16_t w = 0, h = 0;
    const int32_t bytes = qvd::QVIDGetFrame(m_picture.data(), PictureBytes, &w, &h);
    if (bytes <= 0) {
        CameraOff();
        m_messages.showInfoMessage(FormatMessage, [this] { openFormatDialog(); });
        return false;
    }
    m_pictureBytes = bytes;
    m_capturedMs = m_previousGrabMs;
    m_width = w;
    m_height = h;
    if (m_settings.SendImageMsg && !burnCaption()) {
        m_settings.SendImageMsg = false;
        m_settings.ImageMsg = QStringLiteral("Previous message too long");
    }
    return true;
}

bool VideoPath::burnCaption()
{
    // The caption is rendered once per text, whatever the outcome.
    if (!m_captionRendered || m_captionText != m_settings.ImageMsg) {
        m_captionRendered = true;
        m_captionText = m_settings.ImageMsg;
        m_captionTooLong = false;
        const QByteArray text = m_settings.ImageMsg.toUtf8();
        m_caption.assign(PictureBytes, 0);
        int16_t w = 0, h = 0;
        if (qvd::QVIDTextToImage(m_caption.data(), &w, &h, text.constData(),
                                 int32_t(text.size()))) {
            m_captionWidth = w;
            m_captionHeight = h;
        } else {
            // Refused: a text whose picture would pass the largest one (far wider than any
            // picture) when the font works, else no font to write with at all.
            m_captionTooLong = qvd::QVIDTextToImage(m_caption.data(), &w, &h, " ", 1) != 0;
            m_caption.clear();
        }
    }
    // Without a font the picture goes out without its caption.
    if (m_caption.empty()) return !m_captionTooLong;
    if (m_captionWidth >= m_width) return false;
    const int x = int(std::lround((m_width - m_captionWidth) / 2.0));
    qvd::QVIDBurnImage(m_picture.data(), m_width, m_height, m_caption.data(), m_captionWidth,
                       m_captionHeight, x, 0);
    return true;
}

QByteArray VideoPath::SendPicture(bool peerVersionMatch)
{
    if (m_pictureBytes == 0) return {};
    int quality = m_settings.VQualityLow ? 15 : 30;
    if (m_pictureBytes == 640 * 480 * 3) {
        if (peerVersionMatch) {
            quality -= 3;
        } else {
            // Other programs take at most 320 x 240.
            qvd::QVIDDownSampleImg(m_picture.data(), 640, 480, m_picture.data(), 320, 240);
            m_pictureBytes = 320 * 240 * 3;
            m_width = 320;
            m_height = 240;
        }
    }
    const int bytes = m_pictureBytes;
    m_pictureBytes = 0;
    if (bytes != 160 * 120 * 3 && bytes != 320 * 240 * 3 && bytes != 640 * 480 * 3) return {};
    const int32_t length =
        qvd::QVIDCompressStill(m_picture.data(), int16_t(m_width), int16_t(m_height),
                               int16_t(quality), m_jpeg.data(), JpegBytes);
    if (length <= 0) return {};
    return mediaPacket("KJP", QByteArray(reinterpret_cast<const char *>(m_jpeg.data()), length));
}
