// A widget the video engine draws on: it is the engine's drawing surface (the "device context"
// of its drawing calls). The engine hands over bottom-up BGR pictures, from any thread; the
// widget keeps the newest one and paints it scaled smoothly to its own size.
#pragma once

#include "rxvlib11.h"

#include <QImage>
#include <QMutex>
#include <QWidget>

class VideoSurface : public QWidget
{
    Q_OBJECT
public:
    explicit VideoSurface(QWidget *parent = nullptr);

    // What the engine is given.
    RXVDrawSurface *surface() { return &m_surface; }
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
    static void draw(RXVDrawSurface *surface, const uint8_t *bits, int32_t width, int32_t height,
                     int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight);

    RXVDrawSurface m_surface;
    mutable QMutex m_lock;
    QImage m_picture;
    QImage m_last;
    int m_count = 0;
};
