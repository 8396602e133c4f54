// The self view's camera model.
#include "cameramodel.h"

#include "videopath.h"

static_assert(CameraModel::PreviewWidth == VideoPath::Width &&
              CameraModel::PreviewHeight == VideoPath::Height);

CameraModel::CameraModel(VideoPath &video, QObject *parent) : QObject(parent), m_video(video)
{
    connect(&video, &VideoPath::cameraChanged, this, &CameraModel::switched);
    connect(&video, &VideoPath::captureAvailabilityChanged, this,
            &CameraModel::availabilityChanged);
    connect(&video, &VideoPath::captureSizeChanged, this, &CameraModel::captureSizeChanged);
}

QString CameraModel::deviceName() const
{
    return m_video.deviceName();
}

bool CameraModel::available() const
{
    return m_video.captureAvailable();
}

bool CameraModel::on() const
{
    return m_video.cameraOn();
}

void CameraModel::toggle()
{
    m_video.cameraOn() ? m_video.switchCameraOff() : m_video.switchCameraOn();
}

void CameraModel::startCapture(PictureTarget *preview)
{
    m_video.startCapture(preview);
}

void CameraModel::setPreview(bool shown)
{
    m_video.setPreview(shown);
}
