// A widget the video engine draws on (the "device context" of its drawing calls). The engine
// hands over bottom-up BGR pictures, from any thread; the widget keeps the newest one and paints
// it scaled smoothly to its own size.
#pragma once

#include "picturetarget.h"

#include <QImage>
#include <QMutex>
#include <QWidget>

class VideoSurface : public QWidget, public PictureTarget
{
    Q_OBJECT
public:
    explicit VideoSurface(QWidget *parent = nullptr);

    void drawPicture(const uint8_t *bits, int width, int height) override;
    // The newest picture drawn (top row first), for tests and snapshots.
    QImage picture() const;
    int pictures() const;
    // Forgets the picture (back to black).
    void clear();
    // The picture shown, or the one shown before the last clear().
    QImage lastPicture() const;

signals:
    void drawn();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    mutable QMutex m_lock;
    QImage m_picture;
    QImage m_last;
    int m_count = 0;
};
