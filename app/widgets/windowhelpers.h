// Small helpers the windows share: placing a window on the screen, and the sunken text panels.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>

#include <cstdint>
#include <vector>

class QLabel;
class QWidget;

// Centres a top-level window on the primary screen.
void centreOnScreen(QWidget *window);
// Puts a top-level window in the top right corner of the primary screen.
void toTopRight(QWidget *window);
// Where a window's frame goes to lie inside `area`: moved back by the least distance, its top
// left corner inside when the frame is larger than the area.
QPoint keptInside(const QRect &frame, const QRect &area);
// Moves a top-level window's frame to `topLeft`, kept inside the screen it lands on (its own
// screen when the point is on none).
void moveOnScreen(QWidget *window, QPoint topLeft);
// A sunken panel showing plain text.
QLabel *textPanel(QWidget *parent, const char *name, int minimumWidth = 180);
// A bottom-up BGR picture (as the engines give them) the right way up; null when too short.
QImage bottomUpImage(const std::vector<uint8_t> &bits, int width, int height);
