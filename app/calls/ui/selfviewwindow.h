// The self-view window: the camera preview, the camera's Pause/Play switch and the Settings
// button.
#pragma once

#include "widgets/toolwindow.h"

class QLabel;
class QPushButton;
class VideoPath;
class VideoSurface;

class SelfViewWindow : public ToolWindow
{
    Q_OBJECT
public:
    explicit SelfViewWindow(VideoPath &video, QWidget *parent = nullptr);

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

    VideoPath &m_video;
    VideoSurface *m_capture;
    QLabel *m_caption;
    QPushButton *m_camSet;
    QPushButton *m_settings;
};
