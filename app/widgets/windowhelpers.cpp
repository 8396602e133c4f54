// Window helpers.
#include "windowhelpers.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>

#include <algorithm>

void centreOnScreen(QWidget *window)
{
    window->adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
}

void toTopRight(QWidget *window)
{
    window->adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window->move(area.right() - window->frameGeometry().width() + 1, area.top());
    }
}

QPoint keptInside(const QRect &frame, const QRect &area)
{
    const int x = std::min(frame.left(), area.right() + 1 - frame.width());
    const int y = std::min(frame.top(), area.bottom() + 1 - frame.height());
    return {std::max(x, area.left()), std::max(y, area.top())};
}

void moveOnScreen(QWidget *window, QPoint topLeft)
{
    const QScreen *screen = QGuiApplication::screenAt(topLeft);
    if (!screen) screen = window->screen();
    QRect frame = window->frameGeometry();
    frame.moveTopLeft(topLeft);
    window->move(screen ? keptInside(frame, screen->availableGeometry()) : topLeft);
}

QLabel *textPanel(QWidget *parent, const char *name, int minimumWidth)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(minimumWidth);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QImage bottomUpImage(const std::vector<uint8_t> &bits, int width, int height)
{
    if (width < 1 || height < 1 || bits.size() < size_t(width) * size_t(height) * 3) return {};
    return QImage(bits.data(), width, height, width * 3, QImage::Format_BGR888)
        .mirrored(false, true);
}
