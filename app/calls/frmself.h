// The self-view window, which holds the camera preview and the camera's Pause/Play switch, and
// the data-rates window with the picture and throughput figures of a call.
#pragma once

#include "shell/toolwindow.h"

class QLabel;
class QPushButton;
class VideoPath;
class VideoSurface;
struct RXVDrawSurface;

class FrmSelf : public ToolWindow
{
    Q_OBJECT
public:
    explicit FrmSelf(VideoPath &video, QWidget *parent = nullptr);

    RXVDrawSurface *captureSurface() const;
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

class FrmRates : public ToolWindow
{
    Q_OBJECT
public:
    explicit FrmRates(QWidget *parent = nullptr);

    // Each figure as shown: frames per second or bits per second, "0.0" between calls.
    void setFigure(const char *panel, const QString &text);
    void showFigures(const QString &fpsIn, const QString &fpsOut, const QString &bpsIn,
                     const QString &bpsOut);
    void resetFigures();

private:
    QLabel *figure(const char *name);
};
