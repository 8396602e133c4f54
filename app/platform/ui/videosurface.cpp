// The engine's drawing surface as a widget.
#include "videosurface.h"

#include <QPainter>
#include <QThread>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace
{

// A row of BGR pixels into RGB32 (0xffRRGGBB), one pixel at a time.
void convertRowPlain(const uint8_t *bgr, int width, QRgb *out)
{
    for (int x = 0; x < width; ++x, bgr += 3)
        out[x] = 0xff000000u | (QRgb(bgr[2]) << 16) | (QRgb(bgr[1]) << 8) | bgr[0];
}

#if defined(__x86_64__)
// The same, four pixels to a shuffle: in memory BGR already is the order of RGB32's low three
// bytes, so each group of three bytes only moves to four and gains its opaque alpha.
__attribute__((target("ssse3"))) void convertRowSsse3(const uint8_t *bgr, int width, QRgb *out)
{
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(int(0xff000000u));
    int x = 0;
    // Sixteen bytes are read for twelve: the last group stops where that stays inside the row.
    for (; x + 6 <= width; x += 4) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bgr + x * 3));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x),
                         _mm_or_si128(_mm_shuffle_epi8(in, spread), alpha));
    }
    convertRowPlain(bgr + x * 3, width - x, out + x);
}

void convertRow(const uint8_t *bgr, int width, QRgb *out)
{
    static const bool ssse3 = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    (ssse3 ? convertRowSsse3 : convertRowPlain)(bgr, width, out);
}
#else
void convertRow(const uint8_t *bgr, int width, QRgb *out)
{
    convertRowPlain(bgr, width, out);
}
#endif

} // namespace

VideoSurface::VideoSurface(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void VideoSurface::drawPicture(const uint8_t *bits, int width, int height)
{
    if (!bits || width < 1 || height < 1) return;
    {
        QMutexLocker writing(&m_writing);
        // The bits are only valid during the call: they are copied into the spare picture, which
        // then changes places with the one shown. The spare is reused while its size stays and
        // nobody else holds it (lastPicture() shares it; bits() then makes a copy of its own).
        if (m_back.width() != width || m_back.height() != height)
            m_back = QImage(width, height, QImage::Format_RGB32);
        if (m_back.isNull()) return; // no memory for the picture: the last one stays
        const std::size_t stride = std::size_t(width) * 3;
        for (int y = 0; y < height; ++y)
            convertRow(bits + stride * std::size_t(height - 1 - y), width,
                       reinterpret_cast<QRgb *>(m_back.scanLine(y)));
        QMutexLocker hold(&m_lock);
        m_shown.swap(m_back);
    }
    // The camera's preview arrives on the engine's capture thread; the widget is told on its own,
    // once for however many pictures arrive before it paints.
    if (m_updatePending.exchange(true)) return;
    if (QThread::currentThread() == thread()) {
        update();
        return;
    }
    QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection);
}

void VideoSurface::clear()
{
    {
        QMutexLocker hold(&m_lock);
        if (!m_shown.isNull()) m_last = std::move(m_shown);
        m_shown = QImage();
    }
    update();
}

QImage VideoSurface::lastPicture() const
{
    QMutexLocker hold(&m_lock);
    return m_shown.isNull() ? m_last : m_shown;
}

void VideoSurface::paintEvent(QPaintEvent *)
{
    m_updatePending = false;
    QPainter painter(this);
    QMutexLocker hold(&m_lock);
    if (m_shown.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // The picture fills the widget, whatever size was asked for: the owner sizes the widget. On a
    // screen of one pixel per point, a picture of the widget's size is copied as it is.
    if (m_shown.size() == size() && devicePixelRatioF() == 1.0) {
        painter.drawImage(QPoint(0, 0), m_shown);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), m_shown);
}
