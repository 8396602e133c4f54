// The engine's drawing surface as a widget.
#include "videosurface.h"

#include <QPainter>
#include <QThread>

VideoSurface::VideoSurface(QWidget *parent) : QWidget(parent)
{
    m_surface.size = sizeof(RXVDrawSurface);
    m_surface.user = this;
    m_surface.draw = &VideoSurface::draw;
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void VideoSurface::draw(RXVDrawSurface *surface, const uint8_t *bits, int32_t width, int32_t height,
                        int32_t dstX, int32_t dstY, int32_t dstWidth, int32_t dstHeight)
{
    Q_UNUSED(dstX);
    Q_UNUSED(dstY);
    Q_UNUSED(dstWidth);
    Q_UNUSED(dstHeight);
    auto *self = static_cast<VideoSurface *>(surface->user);
    if (!bits || width < 1 || height < 1) return;
    // The bits are only valid during the call: copy them, turning the picture the right way up.
    QImage bottomUp(bits, width, height, width * 3, QImage::Format_BGR888);
    QImage picture = bottomUp.mirrored(false, true);
    {
        QMutexLocker hold(&self->m_lock);
        self->m_picture = std::move(picture);
        ++self->m_count;
    }
    if (QThread::currentThread() == self->thread()) {
        self->update();
        emit self->drawn();
    } else {
        QMetaObject::invokeMethod(
            self,
            [self] {
                self->update();
                emit self->drawn();
            },
            Qt::QueuedConnection);
    }
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
