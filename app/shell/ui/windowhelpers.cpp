// Window helpers.
#include "windowhelpers.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

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
