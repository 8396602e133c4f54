// A widget the video engine draws on (the "device context" of its drawing calls). The engine
// hands over bottom-up BGR pictures, from any thread; the widget keeps the newest one, turned the
// right way up in the screen's own pixel format, and paints it as it is when the widget has the
// picture's size, scaled smoothly to the widget otherwise. Two pictures are kept and reused, so
// a picture costs one pass over its pixels and no allocation. A picture to be shown at half its
// size (a large camera's self view) is halved in that same pass, each pixel the mean of four.
#pragma once

#include "media/picturetarget.h"

#include <QImage>
#include <QMutex>
#include <QWidget>

#include <atomic>

class VideoSurface : public QWidget, public PictureTarget
{
    Q_OBJECT
public:
    explicit VideoSurface(QWidget *parent = nullptr);

    void drawPicture(const uint8_t *bits, int width, int height) override;
    void drawPictureScaled(const uint8_t *bits, int width, int height, int shownWidth,
                           int shownHeight) override;
    // Forgets the picture (back to black).
    void clear();
    // The picture shown (top row first), or the one shown before the last clear().
    QImage lastPicture() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Turns the picture into m_back with `row` (a picture row of the given width from the bits)
    // and shows it.
    template <class Row> void take(int width, int height, Row row);

    // Held while a picture is written into m_back: the engine may draw from two threads.
    QMutex m_writing;
    QImage m_back;
    // Held while m_shown or m_last is read or swapped.
    mutable QMutex m_lock;
    QImage m_shown;
    QImage m_last;
    // A repaint has been asked for and not yet begun: later pictures need not ask again.
    std::atomic<bool> m_updatePending{false};
};
