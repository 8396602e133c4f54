// Drawn pictures for the windows.
#include "pictures.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <functional>

namespace Pictures
{
namespace
{

// A picture of w x h device-independent pixels, drawn at the screen's scale so that it stays sharp
// at 200%.
QPixmap canvas(int w, int h, const QColor &fill = Qt::transparent)
{
    const qreal scale = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pm(QSize(w, h) * scale);
    pm.setDevicePixelRatio(scale);
    pm.fill(fill);
    return pm;
}

// The device glyphs: a mid-grey body with a darker outline reads on light and dark themes alike.
const QColor GlyphInk(105, 110, 125), GlyphFill(165, 170, 182);

QColor lightColour(Light state, QColor on)
{
    switch (state) {
    case Light::On:
        return on;
    case Light::Off:
        return QColor(70, 78, 70);
    case Light::NoDevice:
        return QColor(150, 150, 150);
    }
    return on;
}

// A round lamp with a glossy highlight.
void lamp(QPainter &p, const QRectF &r, const QColor &c)
{
    QRadialGradient g(r.center() - QPointF(r.width() * 0.2, r.height() * 0.2), r.width() * 0.7);
    g.setColorAt(0, c.lighter(170));
    g.setColorAt(0.5, c);
    g.setColorAt(1, c.darker(160));
    p.setPen(QPen(QColor(30, 30, 30), 1));
    p.setBrush(g);
    p.drawEllipse(r);
}

void crossOut(QPainter &p, int w, int h)
{
    p.setPen(QPen(QColor(200, 40, 40), 2));
    p.drawLine(3, h - 3, w - 3, 3);
}

// A small device glyph beside its lamp.
QPixmap deviceLight(Light state, const std::function<void(QPainter &)> &glyph)
{
    QPixmap pm = canvas(34, 20);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    glyph(p);
    lamp(p, QRectF(21, 5, 10, 10), lightColour(state, QColor(40, 220, 60)));
    if (state == Light::NoDevice) crossOut(p, 20, 20);
    return pm;
}

} // namespace

QPixmap microphone(Light state)
{
    return deviceLight(state, [](QPainter &p) {
        p.setPen(QPen(GlyphInk, 1.6));
        p.setBrush(GlyphFill);
        p.drawRoundedRect(QRectF(6, 2, 6, 10), 3, 3);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3.5, 5, 11, 10), 180 * 16, 180 * 16);
        p.drawLine(QPointF(9, 15), QPointF(9, 18));
        p.drawLine(QPointF(6, 18), QPointF(12, 18));
    });
}

QPixmap camera(Light state)
{
    return deviceLight(state, [](QPainter &p) {
        p.setPen(QPen(GlyphInk, 1.2));
        p.setBrush(GlyphFill);
        p.drawRoundedRect(QRectF(1.5, 5.5, 12, 9), 2, 2);
        QPolygonF lens{QPointF(13.5, 8), QPointF(18.5, 5.5), QPointF(18.5, 14.5),
                       QPointF(13.5, 12)};
        p.drawPolygon(lens);
    });
}

QPixmap speaker(Light state)
{
    return deviceLight(state, [](QPainter &p) {
        p.setPen(QPen(GlyphInk, 1.2));
        p.setBrush(GlyphFill);
        QPolygonF cone{QPointF(2, 7),   QPointF(6, 7),  QPointF(11, 3),
                       QPointF(11, 17), QPointF(6, 13), QPointF(2, 13)};
        p.drawPolygon(cone);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(9, 5, 8, 10), -50 * 16, 100 * 16);
    });
}

QPixmap connection(bool on)
{
    QPixmap pm = canvas(20, 20);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    lamp(p, QRectF(2, 2, 16, 16), on ? QColor(40, 220, 60) : QColor(200, 40, 30));
    return pm;
}

QPixmap lock(bool closed)
{
    QPixmap pm = canvas(18, 20);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor body = closed ? QColor(60, 150, 70) : QColor(200, 120, 40);
    // The shackle: closed into the body, or swung open to the right.
    p.setPen(QPen(GlyphInk, 2.2));
    p.setBrush(Qt::NoBrush);
    if (closed)
        p.drawArc(QRectF(4, 2, 10, 12), 0, 180 * 16);
    else
        p.drawArc(QRectF(8, 0, 10, 12), 0, 180 * 16);
    p.drawLine(QPointF(4, 8), QPointF(4, 10));
    if (closed) p.drawLine(QPointF(14, 8), QPointF(14, 10));
    p.setPen(QPen(body.darker(150), 1));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(2, 9, 14, 10), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 30));
    p.drawEllipse(QRectF(7.5, 12, 3, 3));
    return pm;
}

QPixmap doNotDisturb(bool on)
{
    QPixmap pm = canvas(20, 20);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(on ? QColor(210, 40, 40) : QColor(150, 150, 150));
    p.drawEllipse(QRectF(2, 2, 16, 16));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(5, 8.5, 10, 3), 1, 1);
    return pm;
}

QPixmap messageIn(bool waiting)
{
    QPixmap pm = canvas(22, 20);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.2));
    p.setBrush(waiting ? QColor(255, 220, 80) : QColor(225, 225, 225));
    p.drawRect(QRectF(2.5, 4.5, 17, 12));
    p.drawPolyline(QPolygonF{QPointF(2.5, 4.5), QPointF(11, 11), QPointF(19.5, 4.5)});
    return pm;
}

QPixmap digit(int value)
{
    // Segments a..g of a seven-segment figure.
    static const char *lit[] = {"abcdef", "bc",     "abdeg", "abcdg",   "bcfg",
                                "acdfg",  "acdefg", "abc",   "abcdefg", "abcdfg"};
    const QString on = value >= 0 && value <= 9 ? QString::fromLatin1(lit[value]) : QString();
    QPixmap pm = canvas(13, 22, QColor(12, 16, 12));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor bright(60, 255, 90), dim(28, 48, 30);
    auto seg = [&](char s, QRectF r) {
        p.setPen(Qt::NoPen);
        p.setBrush(on.contains(QLatin1Char(s)) ? bright : dim);
        p.drawRoundedRect(r, 1, 1);
    };
    seg('a', {3, 1.5, 7, 2});
    seg('b', {10, 3, 2, 7});
    seg('c', {10, 12, 2, 7});
    seg('d', {3, 18.5, 7, 2});
    seg('e', {1, 12, 2, 7});
    seg('f', {1, 3, 2, 7});
    seg('g', {3, 10, 7, 2});
    return pm;
}

QPixmap colon(bool on)
{
    QPixmap pm = canvas(6, 22, QColor(12, 16, 12));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(on ? QColor(60, 255, 90) : QColor(28, 48, 30));
    p.drawEllipse(QRectF(1.5, 6, 3, 3));
    p.drawEllipse(QRectF(1.5, 13, 3, 3));
    return pm;
}

QPixmap animation(int frame)
{
    // Eight dots around a circle; the bright one walks round.
    QPixmap pm = canvas(32, 32);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < AnimationFrames; ++i) {
        const double a = (i * 45.0 - 90.0) * M_PI / 180.0;
        const QPointF c(16 + 11 * std::cos(a), 16 + 11 * std::sin(a));
        const int age = (frame - i + AnimationFrames) % AnimationFrames;
        QColor col(30, 120, 220);
        col.setAlpha(age == 0 ? 255 : std::max(40, 200 - age * 45));
        p.setPen(Qt::NoPen);
        p.setBrush(col);
        const double r = age == 0 ? 3.6 : 2.8;
        p.drawEllipse(c, r, r);
    }
    return pm;
}

QPixmap tool(Tool which, bool highlighted)
{
    QPixmap pm = canvas(32, 32);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = highlighted ? QColor(20, 90, 200) : QColor(70, 75, 85);
    const QColor fill = highlighted ? QColor(120, 180, 255) : QColor(185, 190, 200);
    p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    switch (which) {
    case Tool::Call:
    case Tool::HangUp: {
        QPainterPath handset;
        handset.moveTo(7, 9);
        handset.cubicTo(5, 16, 14, 27, 23, 25);
        handset.lineTo(25, 20);
        handset.lineTo(20, 17);
        handset.lineTo(17, 20);
        handset.cubicTo(14, 18, 12, 16, 11, 13);
        handset.lineTo(14, 10);
        handset.lineTo(11, 5);
        handset.closeSubpath();
        if (which == Tool::HangUp) {
            p.setBrush(highlighted ? QColor(255, 120, 110) : QColor(220, 70, 60));
            p.setPen(QPen(QColor(130, 20, 20), 2));
        }
        p.drawPath(handset);
        break;
    }
    case Tool::Directory:
        p.drawRoundedRect(QRectF(7, 4, 18, 24), 2, 2);
        p.drawLine(QPointF(11, 10), QPointF(21, 10));
        p.drawLine(QPointF(11, 15), QPointF(21, 15));
        p.drawLine(QPointF(11, 20), QPointF(18, 20));
        break;
    case Tool::SelfView:
        p.drawRoundedRect(QRectF(3, 9, 19, 15), 3, 3);
        p.drawPolygon(QPolygonF{QPointF(22, 13), QPointF(29, 9), QPointF(29, 24), QPointF(22, 20)});
        break;
    case Tool::Chat:
        p.drawRoundedRect(QRectF(3, 5, 26, 17), 5, 5);
        p.drawPolygon(QPolygonF{QPointF(9, 21), QPointF(8, 28), QPointF(15, 21)});
        break;
    case Tool::Talk:
        p.drawRoundedRect(QRectF(12, 3, 8, 15), 4, 4);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(8, 8, 16, 15), 180 * 16, 180 * 16);
        p.drawLine(QPointF(16, 23), QPointF(16, 28));
        p.drawLine(QPointF(11, 28), QPointF(21, 28));
        break;
    }
    return pm;
}

QPixmap logo(int width)
{
    const int height = width * 2 / 5;
    QPixmap pm = canvas(width, height);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(height * 55 / 100);
    p.setFont(font);
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, QColor(140, 200, 255));
    g.setColorAt(1, QColor(30, 90, 200));
    QPainterPath text;
    text.addText(0, 0, font, QStringLiteral("OVELA"));
    const QRectF box = text.boundingRect();
    text.translate((width - box.width()) / 2 - box.left(), (height - box.height()) / 2 - box.top());
    p.setPen(QPen(QColor(10, 30, 80), 1.5));
    p.setBrush(g);
    p.drawPath(text);
    return pm;
}

QPixmap incomingCall()
{
    QPixmap pm = canvas(48, 48);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.drawPixmap(8, 8, tool(Tool::Call, true));
    p.setPen(QPen(QColor(20, 90, 200), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(24, 4, 16, 16), 0, 90 * 16);
    p.drawArc(QRectF(20, 0, 26, 26), 0, 90 * 16);
    return pm;
}

QPixmap busy()
{
    QPixmap pm = canvas(48, 48);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.drawPixmap(8, 8, tool(Tool::HangUp, false));
    return pm;
}

QPixmap appIcon()
{
    QPixmap pm = canvas(64, 64);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, 64);
    g.setColorAt(0, QColor(90, 160, 250));
    g.setColorAt(1, QColor(20, 70, 170));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    p.scale(2, 2);
    p.setPen(QPen(Qt::white, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(4, 10, 16, 13), 3, 3);
    p.drawPolygon(QPolygonF{QPointF(20, 14), QPointF(27, 10), QPointF(27, 23), QPointF(20, 19)});
    return pm;
}

QPixmap directoryIcon(int index)
{
    index = std::clamp(index, 1, 9);
    const bool ours = index % 2 == 1 || index == 9;
    const bool video = index == 1 || index == 2 || index == 3 || index == 4;
    const bool audio = index == 1 || index == 2 || index == 5 || index == 6;
    QPixmap pm = canvas(20, 16);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor body = index == 9 ? QColor(150, 150, 150)
                        : ours     ? QColor(50, 100, 190)
                                   : QColor(110, 130, 110);
    p.setPen(QPen(body.darker(150), 1));
    p.setBrush(body);
    p.drawEllipse(QRectF(3, 1, 6, 6));
    p.drawRoundedRect(QRectF(1, 8, 10, 7), 3, 3);
    if (video) {
        p.setBrush(QColor(60, 60, 70));
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(12, 2, 5, 4));
        p.drawPolygon(QPolygonF({QPointF(17, 4), QPointF(20, 2), QPointF(20, 6)}));
    }
    if (audio) {
        p.setBrush(QColor(40, 150, 60));
        p.setPen(Qt::NoPen);
        p.drawRect(QRectF(12, 10, 2, 3));
        p.drawPolygon(
            QPolygonF({QPointF(14, 10), QPointF(17, 8), QPointF(17, 15), QPointF(14, 13)}));
    }
    if (index == 9) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(210, 50, 40));
        p.drawEllipse(QRectF(12, 8, 7, 7));
    }
    return pm;
}

} // namespace Pictures
