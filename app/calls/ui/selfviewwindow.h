// The self-view window: the camera preview, the camera's Pause/Play switch and the Settings
// button.
#pragma once

#include "widgets/toolwindow.h"

class QLabel;
class QPushButton;
class CameraModel;
class VideoSurface;

class SelfViewWindow : public ToolWindow
{
    Q_OBJECT
public:
    explicit SelfViewWindow(CameraModel &camera, QWidget *parent = nullptr);

    // Where the engine draws the preview.
    VideoSurface *captureArea() const { return m_capture; }
    // The capture size changed: the preview shows it at width / scaleX x height / scaleY.
    void sizeForCapture(int width, int height, double scaleX, double scaleY);

signals:
    void settingsRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void showCameraState(bool on);

    CameraModel &m_camera;
    VideoSurface *m_capture;
    QLabel *m_caption;
    QPushButton *m_camSet;
    QPushButton *m_settings;
};
