// The engine's drawing surface as a widget.
#include "videosurface.h"

#include <QPainter>
#include <QThread>

VideoSurface::VideoSurface(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void VideoSurface::drawPicture(const uint8_t *bits, int width, int height)
{
    if (!bits || width < 1 || height < 1) return;
    // The bits are only valid during the call: copy them, turning the picture the right way up.
    QImage bottomUp(bits, width, height, width * 3, QImage::Format_BGR888);
    QImage picture = bottomUp.mirrored(false, true);
    {
        QMutexLocker hold(&m_lock);
        m_picture = std::move(picture);
        ++m_count;
    }
    // The camera's preview arrives on the engine's capture thread; the widget is told on its own.
    const bool here = QThread::currentThread() == thread();
    QMetaObject::invokeMethod(
        this,
        [this] {
            update();
            emit drawn();
        },
        here ? Qt::DirectConnection : Qt::QueuedConnection);
}

QImage VideoSurface::picture() const
{
    QMutexLocker hold(&m_lock);
    return m_picture;
}

int VideoSurface::pictures() const
{
    QMutexLocker hold(&m_lock);
    return m_count;
}

void VideoSurface::clear()
{
    {
        QMutexLocker hold(&m_lock);
        if (!m_picture.isNull()) m_last = std::move(m_picture);
        m_picture = QImage();
    }
    update();
}

QImage VideoSurface::lastPicture() const
{
    QMutexLocker hold(&m_lock);
    return m_picture.isNull() ? m_last : m_picture;
}

void VideoSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    QMutexLocker hold(&m_lock);
    if (m_picture.isNull()) return;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // The picture fills the widget, whatever size was asked for: the owner sizes the widget.
    painter.drawImage(rect(), m_picture);
}
