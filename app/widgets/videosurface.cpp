// The engine's drawing surface as a widget.
#include "videosurface.h"

#include <QAccessibleWidget>
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

// Two rows of 2 * width BGR pixels into one row of RGB32, each pixel the mean of a 2 x 2 block:
// the rows are averaged first, then the pixels of each pair (rounding up each time, as the
// processor's byte average does).
void halveRowsPlain(const uint8_t *a, const uint8_t *b, int width, QRgb *out)
{
    const auto mean = [](unsigned p, unsigned q) { return (p + q + 1) >> 1; };
    for (int x = 0; x < width; ++x, a += 6, b += 6) {
        QRgb pixel = 0xff000000u;
        for (int c = 0; c < 3; ++c)
            pixel |= QRgb(mean(mean(a[c], b[c]), mean(a[c + 3], b[c + 3]))) << (8 * c);
        out[x] = pixel;
    }
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

// Four pixels out of eight of each row: the rows' bytes are averaged sixteen at a time, then the
// even and the odd pixels are spread to the four slots of RGB32 and averaged.
__attribute__((target("ssse3"))) void halveRowsSsse3(const uint8_t *a, const uint8_t *b, int width,
                                                     QRgb *out)
{
    // Pixels 0 and 2 (even) and 1 and 3 (odd) of the first sixteen bytes into slots 0 and 1,
    // and the same of the sixteen bytes from byte 12 (pixels 4 to 7) into slots 2 and 3.
    const __m128i evenLow = _mm_setr_epi8(0, 1, 2, -1, 6, 7, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i evenHigh =
        _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, -1, 6, 7, 8, -1);
    const __m128i oddLow =
        _mm_setr_epi8(3, 4, 5, -1, 9, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i oddHigh =
        _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 3, 4, 5, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(int(0xff000000u));
    const auto load = [](const uint8_t *p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    };
    int x = 0;
    // The second load reads four bytes past the eight pixels: the last group stops where that
    // stays inside the rows.
    for (; (x + 4) * 6 + 4 <= width * 6; x += 4) {
        const int at = x * 6;
        const __m128i low = _mm_avg_epu8(load(a + at), load(b + at));
        const __m128i high = _mm_avg_epu8(load(a + at + 12), load(b + at + 12));
        const __m128i even =
            _mm_or_si128(_mm_shuffle_epi8(low, evenLow), _mm_shuffle_epi8(high, evenHigh));
        const __m128i odd =
            _mm_or_si128(_mm_shuffle_epi8(low, oddLow), _mm_shuffle_epi8(high, oddHigh));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x),
                         _mm_or_si128(_mm_avg_epu8(even, odd), alpha));
    }
    halveRowsPlain(a + x * 6, b + x * 6, width - x, out + x);
}

bool hasSsse3()
{
    static const bool ssse3 = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    return ssse3;
}

void convertRow(const uint8_t *bgr, int width, QRgb *out)
{
    (hasSsse3() ? convertRowSsse3 : convertRowPlain)(bgr, width, out);
}

void halveRows(const uint8_t *a, const uint8_t *b, int width, QRgb *out)
{
    (hasSsse3() ? halveRowsSsse3 : halveRowsPlain)(a, b, width, out);
}
#else
void convertRow(const uint8_t *bgr, int width, QRgb *out)
{
    convertRowPlain(bgr, width, out);
}

void halveRows(const uint8_t *a, const uint8_t *b, int width, QRgb *out)
{
    halveRowsPlain(a, b, width, out);
}
#endif

} // namespace

namespace
{
// A screen reader sees the surface as a picture (a plain widget would be a nameless filler).
QAccessibleInterface *accessibleSurface(const QString &className, QObject *object)
{
    if (className == QLatin1String("VideoSurface") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Graphic);
    return nullptr;
}
} // namespace

VideoSurface::VideoSurface(QWidget *parent) : QWidget(parent)
{
    static const bool factory = (QAccessible::installFactory(accessibleSurface), true);
    Q_UNUSED(factory);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void VideoSurface::drawPicture(const uint8_t *bits, int width, int height)
{
    if (!bits || width < 1 || height < 1) return;
    const std::size_t stride = std::size_t(width) * 3;
    take(width, height, [&](int y, QRgb *out) {
        convertRow(bits + stride * std::size_t(height - 1 - y), width, out);
    });
}

void VideoSurface::drawPictureScaled(const uint8_t *bits, int width, int height, int shownWidth,
                                     int shownHeight)
{
    if (!bits || width < 1 || height < 1) return;
    if (shownWidth < 1 || shownWidth * 2 != width || shownHeight < 1 || shownHeight * 2 != height) {
        drawPicture(bits, width, height); // scaled when painted
        return;
    }
    const std::size_t stride = std::size_t(width) * 3;
    take(shownWidth, shownHeight, [&](int y, QRgb *out) {
        const uint8_t *lower = bits + stride * std::size_t(height - 2 - 2 * y);
        halveRows(lower + stride, lower, shownWidth, out);
    });
}

template <class Row> void VideoSurface::take(int width, int height, Row row)
{
    {
        QMutexLocker writing(&m_writing);
        // The bits are only valid during the call: they are copied into the spare picture, which
        // then changes places with the one shown. The spare is reused while its size stays and
        // nobody else holds it (lastPicture() shares it; bits() then makes a copy of its own).
        if (m_back.width() != width || m_back.height() != height)
            m_back = QImage(width, height, QImage::Format_RGB32);
        if (m_back.isNull()) return; // no memory for the picture: the last one stays
        uchar *top = m_back.bits();
        const qsizetype line = m_back.bytesPerLine();
        for (int y = 0; y < height; ++y)
            row(y, reinterpret_cast<QRgb *>(top + line * y));
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
    QMetaObject::invokeMethod(
        this, [this] { update(); }, Qt::QueuedConnection);
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
