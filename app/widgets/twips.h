// Window sizes in the program's settings and layout rules are in twips (1/1440 inch); this
// converts them with the screen's logical resolution (15 twips per pixel at 96 DPI).
#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <QSize>
#include <cmath>

namespace Twips
{

inline double perPixelX()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

inline double perPixelY()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    const double dpi = s ? s->logicalDotsPerInchY() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

inline int toPixelsX(double twips)
{
    return int(std::lround(twips / perPixelX()));
}
inline int toPixelsY(double twips)
{
    return int(std::lround(twips / perPixelY()));
}
inline int fromPixelsX(int pixels)
{
    return int(std::lround(pixels * perPixelX()));
}
inline int fromPixelsY(int pixels)
{
    return int(std::lround(pixels * perPixelY()));
}
inline QSize toPixels(double w, double h)
{
    return {toPixelsX(w), toPixelsY(h)};
}

} // namespace Twips
