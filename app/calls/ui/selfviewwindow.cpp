// The self-view window.
#include "selfviewwindow.h"

#include "media/cameramodel.h"
#include "widgets/pictures.h"
#include "widgets/videosurface.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

SelfViewWindow::SelfViewWindow(CameraModel &camera, QWidget *parent)
    : ToolWindow(parent, Qt::Window | Qt::Tool), m_camera(camera)
{
    setObjectName(QStringLiteral("frmSelf"));
    setWindowTitle(QStringLiteral("Self View"));
    m_capture = new VideoSurface(this);
    m_capture->setAccessibleName(QStringLiteral("Your camera"));
    m_capture->setObjectName(QStringLiteral("pnlCapture"));
    m_capture->setFixedSize(CameraModel::PreviewWidth, CameraModel::PreviewHeight);

    m_caption = new QLabel(camera.deviceName(), this);
    m_caption->setObjectName(QStringLiteral("pnlSelf"));
    m_caption->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_camSet = new QPushButton(this);
    m_camSet->setObjectName(QStringLiteral("cmdCamSet"));
    // As wide as the style makes a button with the icon, never narrower: a fixed width cut the
    // icon off under styles with wide button margins.
    m_camSet->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_settings = new QPushButton(QStringLiteral("Settings"), this);
    m_settings->setObjectName(QStringLiteral("cmdSettings"));
    m_settings->setToolTip(QStringLiteral("Video settings"));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_camSet);
    bottom->addWidget(m_caption, 1);
    bottom->addWidget(m_settings);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_capture, 0, Qt::AlignHCenter);
    layout->addLayout(bottom);

    connect(m_settings, &QPushButton::clicked, this, &SelfViewWindow::settingsRequested);
    connect(m_camSet, &QPushButton::clicked, &m_camera, &CameraModel::toggle);
    connect(&m_camera, &CameraModel::switched, this, &SelfViewWindow::showCameraState);
    connect(&m_camera, &CameraModel::captureSizeChanged, this, &SelfViewWindow::sizeForCapture);
    connect(&m_camera, &CameraModel::availabilityChanged, this, [this](bool available) {
        m_caption->setText(m_camera.deviceName());
        m_camSet->setEnabled(available);
    });
    showCameraState(false);
}

void SelfViewWindow::showCameraState(bool on)
{
    m_camSet->setIcon(style()->standardIcon(on ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    m_camSet->setToolTip(on ? QStringLiteral("Pause") : QStringLiteral("Play"));
    m_camSet->setAccessibleName(on ? QStringLiteral("Pause the camera")
                                   : QStringLiteral("Start the camera"));
    m_camSet->setEnabled(m_camera.available());
}

void SelfViewWindow::sizeForCapture(int width, int height, double scaleX, double scaleY)
{
    m_capture->setFixedSize(int(width / scaleX), int(height / scaleY));
    m_caption->setText(QStringLiteral("%1x%2").arg(width).arg(height));
    adjustSize();
}

void SelfViewWindow::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    m_camera.setPreview(true);
}

void SelfViewWindow::hideEvent(QHideEvent *event)
{
    ToolWindow::hideEvent(event);
    m_camera.setPreview(false);
}
