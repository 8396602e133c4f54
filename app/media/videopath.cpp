// Camera pictures of a call on the video engine.
#include "videopath.h"

#include "platform/monotonicclock.h"
#include "platform/usermessages.h"
#include "protocol/mediapacket.h"
#include "userdata/settings.h"
#include "videoengine.h"

#include <algorithm>
#include <cmath>

namespace
{
const QString NoCapture = QStringLiteral("No Video Capture");
} // namespace

VideoPath::VideoPath(VideoEngine &engine, Settings &settings, UserMessages &messages,
                     QObject *parent)
    : QObject(parent), m_engine(engine), m_settings(settings), m_messages(messages),
      m_picture(PictureBytes), m_jpeg(JpegBytes)
{
}

VideoPath::~VideoPath() = default;

void VideoPath::startCapture(PictureTarget *preview)
{
    if (!m_engineReady) {
        // Without the engine there is no capture; the windows still learn so.
        forgetCapture();
        return;
    }
    m_engine.setCompOnFrame(false);
    m_capture = m_engine.createCaptureWindow(preview, 0, 0, Width, Height);

    m_drivers.clear();
    for (int i = 0; m_capture && i < MaxDrivers && m_engine.driverConnect(m_capture, i); ++i) {
        m_drivers << m_engine.driverName(m_capture);
        m_engine.driverDisconnect(m_capture);
    }
    startDriver(QStringLiteral("Another application is using the Video device or has failed to "
                               "properly release the Video Capture device driver.  Close the "
                               "application or Reboot your computer and run OVELA again to fix "
                               "this problem."));
}

bool VideoPath::switchDriver(int index)
{
    if (!m_capture || index < 0 || index >= m_drivers.size()) return false;
    m_settings.DriverNum = qint16(index);
    if (m_captureAvailable) m_engine.closeCapture(m_capture);
    m_engine.driverDisconnect(m_capture);
    startDriver(QStringLiteral("Another application is using the Video device or has failed to "
                               "properly release the Video Capture device driver.  Close the "
                               "application or Reboot your computer and run again to fix this "
                               "problem."));
    // The self view follows the new driver's size at once, not at the next 5-second step.
    captureSizeStep();
    return m_captureAvailable;
}

void VideoPath::startDriver(const QString &busyMessage)
{
    const bool connected = m_capture && m_engine.driverConnect(m_capture, m_settings.DriverNum);
    m_captureAvailable = false;
    // A new driver may capture at another size: the self view sizes itself again.
    m_captureWidth = m_captureHeight = 0;
    if (connected) {
        m_deviceName = m_drivers.value(m_settings.DriverNum);
        if (m_engine.captureSize(m_capture).width() > Width) m_engine.previewScale(m_capture, true);
        m_engine.previewRate(m_capture, 0);
        if (!m_engine.initCapture(m_capture)) {
            if (m_engine.usable() && !busyMessage.isEmpty())
                m_messages.showErrorMessage(busyMessage);
        } else {
            m_captureAvailable = true;
            m_cameraOn = true;
            m_engine.setCapStatus(true);
            m_engine.setCompOnFrame(false);
        }
    }
    if (!m_engine.usable()) {
        forgetCapture();
        return;
    }
    if (!m_captureAvailable) {
        m_cameraOn = false;
        m_deviceName = NoCapture;
        if (!connected) m_engine.setCapStatus(false);
    }
    emit captureAvailabilityChanged(m_captureAvailable);
    emit cameraChanged(m_cameraOn);
}

bool VideoPath::retryCapture()
{
    if (!m_capture || !m_engineReady) return false;
    if (m_captureAvailable) {
        if (!m_cameraOn) switchCameraOn();
        return m_cameraOn;
    }
    m_engine.driverDisconnect(m_capture);
    m_drivers.clear();
    for (int i = 0; i < MaxDrivers && m_engine.driverConnect(m_capture, i); ++i) {
        m_drivers << m_engine.driverName(m_capture);
        m_engine.driverDisconnect(m_capture);
    }
    if (m_drivers.isEmpty()) return false;
    if (m_settings.DriverNum >= m_drivers.size()) m_settings.DriverNum = 0;
    startDriver({});
    return m_captureAvailable && m_capture;
}

void VideoPath::closeCapture()
{
    if (!m_capture) return;
    if (m_captureAvailable) {
        m_engine.closeCapture(m_capture);
        m_engine.driverDisconnect(m_capture);
    }
    m_engine.destroyCaptureWindow(m_capture);
    m_capture = nullptr;
    m_captureAvailable = false;
    m_cameraOn = false;
}

void VideoPath::forgetCapture()
{
    m_capture = nullptr;
    m_captureAvailable = false;
    m_cameraOn = false;
    m_deviceName = NoCapture;
    emit captureAvailabilityChanged(false);
    emit cameraChanged(false);
}

void VideoPath::switchCameraOn()
{
    if (!m_captureAvailable) return;
    m_engine.grabFrameNoStop(m_capture);
    m_engine.setCapStatus(true);
    if (!m_captureAvailable) return; // the engine went missing on the way
    m_cameraOn = true;
    emit cameraChanged(true);
    takePicture();
}

void VideoPath::switchCameraOff()
{
    if (m_capture) m_engine.previewRate(m_capture, 0);
    if (m_engineReady) m_engine.setCapStatus(false);
    m_cameraOn = false;
    emit cameraChanged(false);
}

void VideoPath::setPreview(bool on)
{
    if (m_capture) m_engine.preview(m_capture, on);
}

void VideoPath::grab()
{
    if (!m_captureAvailable || !m_cameraOn) return;
    // The picture found on a tick was asked for by the grab before this one.
    m_previousGrabMs = m_lastGrabMs;
    m_lastGrabMs = MonotonicClock::nowMs();
    m_engine.grabFrameNoStop(m_capture);
}

void VideoPath::openFormatDialog()
{
    if (m_capture) m_engine.videoFormatDialog(m_capture);
}

void VideoPath::openDriverDialog(DriverDialog which)
{
    if (!m_captureAvailable) return;
    switch (which) {
    case DriverDialog::Display:
        m_engine.videoDisplayDialog(m_capture);
        break;
    case DriverDialog::Format:
        m_engine.videoFormatDialog(m_capture);
        break;
    case DriverDialog::Source:
        m_engine.videoSourceDialog(m_capture);
        break;
    }
}

VideoEngine::CaptureFormat VideoPath::captureFormat()
{
    if (!m_captureAvailable) return {};
    return m_engine.captureFormat(m_capture);
}

void VideoPath::grabForSelfView()
{
    if (m_captureAvailable) m_engine.grabFrameNoStop(m_capture);
}

double VideoPath::captureRateStep(double seconds)
{
    if (!m_engineReady) return 0;
    const int now = m_engine.frameNum();
    int frames = now - m_rateFrame;
    if (now < m_rateFrame) frames += 4096; // the engine's count wraps
    m_rateFrame = now;
    return frames / seconds;
}

void VideoPath::captureSizeStep()
{
    if (!m_captureAvailable) return;
    const QSize size = m_engine.captureSize(m_capture);
    const int w = size.width(), h = size.height();
    if ((w == m_captureWidth && h == m_captureHeight) || w < 1 || h < 1) return;
    m_captureWidth = w;
    m_captureHeight = h;
    const bool scaled = w > Width;
    m_engine.previewScale(m_capture, scaled);
    emit captureSizeChanged(w, h, scaled ? w / double(Width) : 1.0,
                            scaled ? h / double(Height) : 1.0);
}

bool VideoPath::takePicture()
{
    m_pictureBytes = 0;
    if (!m_captureAvailable) return false;
    const int frame = m_engine.frameNum();
    if (frame == m_lastFrame || !m_captureAvailable) return false;
    m_lastFrame = frame;
    int16_t w = 0, h = 0;
    const int32_t bytes = m_engine.getFrame(m_picture.data(), PictureBytes, &w, &h);
    if (!m_captureAvailable) return false; // the engine went missing on the way
    if (bytes <= 0) {
        switchCameraOff();
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
        m_caption.assign(PictureBytes, 0);
        int16_t w = 0, h = 0;
        if (m_engine.textToImage(m_caption.data(), &w, &h, m_settings.ImageMsg.toUtf8())) {
            m_captionWidth = w;
            m_captionHeight = h;
        } else {
            // Refused: a text whose picture would pass the largest one (far wider than any
            // picture) when the font works, else no font to write with at all.
            m_captionTooLong = m_engine.textToImage(m_caption.data(), &w, &h, " ");
            m_caption.clear();
        }
    }
    // Without a font the picture goes out without its caption.
    if (m_caption.empty()) return !m_captionTooLong;
    if (m_captionWidth >= m_width) return false;
    const int x = int(std::lround((m_width - m_captionWidth) / 2.0));
    m_engine.burnImage(m_picture.data(), m_width, m_height, m_caption.data(), m_captionWidth,
                       m_captionHeight, x, 0);
    return true;
}

int VideoPath::quality(bool large) const
{
    const int chosen =
        (m_settings.VQualityLow ? LowQuality : HighQuality) - (large ? LargeQualityStep : 0);
    return std::max(LowestQuality, chosen - m_qualityDrop * LargeQualityStep);
}

QByteArray VideoPath::sendPicture(bool peerVersionMatch)
{
    if (m_pictureBytes == 0) return {};
    bool large = false;
    if (m_pictureBytes == LargeWidth * LargeHeight * 3) {
        if (peerVersionMatch) {
            large = true;
        } else {
            // Other programs take at most 320 x 240.
            m_engine.downSample(m_picture.data(), LargeWidth, LargeHeight, m_picture.data(), Width,
                                Height);
            m_pictureBytes = Width * Height * 3;
            m_width = Width;
            m_height = Height;
        }
    }
    const int bytes = m_pictureBytes;
    m_pictureBytes = 0;
    if (bytes != SmallWidth * SmallHeight * 3 && bytes != Width * Height * 3 &&
        bytes != LargeWidth * LargeHeight * 3)
        return {};
    const int32_t length = m_engine.compressStill(m_picture.data(), m_width, m_height,
                                                  quality(large), m_jpeg.data(), JpegBytes);
    if (length <= 0) return {};
    return MediaPacket::picture(QByteArray(reinterpret_cast<const char *>(m_jpeg.data()), length));
}

bool VideoPath::snapshot(std::vector<uint8_t> *thumbnail, QByteArray *jpeg)
{
    if (!m_captureAvailable) return false;
    m_engine.grabFrameNoStop(m_capture);
    int16_t w = 0, h = 0;
    std::vector<uint8_t> frame(PictureBytes);
    if (m_engine.getFrame(frame.data(), PictureBytes, &w, &h) <= 0 || w < 1 || h < 1) return false;
    thumbnail->assign(size_t(ThumbWidth) * ThumbHeight * 3, 0);
    m_engine.downSample(frame.data(), w, h, thumbnail->data(), ThumbWidth, ThumbHeight);
    std::vector<uint8_t> compressed(ThumbBytes);
    const int32_t length = m_engine.compressStill(thumbnail->data(), ThumbWidth, ThumbHeight,
                                                  ThumbQuality, compressed.data(), ThumbBytes);
    if (length <= 0) return false;
    *jpeg = QByteArray(reinterpret_cast<const char *>(compressed.data()), length);
    return true;
}

QSize VideoPath::decodeStill(const QByteArray &jpeg, std::vector<uint8_t> *picture)
{
    if (jpeg.isEmpty() || !m_engineReady) return {};
    picture->assign(PictureBytes, 0);
    const QSize size = m_engine.uncompressStill(jpeg.left(ThumbBytes), picture->data());
    if (size.isEmpty()) return {};
    picture->resize(size_t(size.width()) * size_t(size.height()) * 3);
    return size;
}
