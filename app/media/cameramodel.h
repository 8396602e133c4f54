// The camera as the self view sees it: its name, whether it can be used and is on, the switch,
// the preview while the window shows, and the size of its pictures. Capture itself stays with the
// video path, which holds the engine; the window only ever sees this.
#pragma once

#include <QObject>
#include <QString>

class PictureTarget;
class VideoPath;

class CameraModel : public QObject
{
    Q_OBJECT
public:
    // The preview's size before the camera says otherwise.
    static constexpr int PreviewWidth = 320, PreviewHeight = 240;

    explicit CameraModel(VideoPath &video, QObject *parent = nullptr);

    QString deviceName() const;
    bool available() const;
    bool on() const;
    // The window's camera button: on when off, off when on.
    void toggle();
    // Capture starts with its preview drawn on `preview` (the self view's picture area).
    void startCapture(PictureTarget *preview);
    // The preview is drawn only while the self view shows.
    void setPreview(bool shown);

signals:
    void switched(bool on);
    void availabilityChanged(bool available);
    // The capture size changed: the self view sizes itself for it (scale = capture / shown).
    void captureSizeChanged(int width, int height, double scaleX, double scaleY);

private:
    VideoPath &m_video;
};
