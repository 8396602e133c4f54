// Small helpers the windows share: placing a window on the screen, and the sunken text panels.
#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

class QLabel;
class QWidget;

// Centres a top-level window on the primary screen.
void centreOnScreen(QWidget *window);
// Puts a top-level window in the top right corner of the primary screen.
void toTopRight(QWidget *window);
// A sunken panel showing plain text.
QLabel *textPanel(QWidget *parent, const char *name, int minimumWidth = 180);
// A bottom-up BGR picture (as the engines give them) the right way up; null when too short.
QImage bottomUpImage(const std::vector<uint8_t> &bits, int width, int height);
