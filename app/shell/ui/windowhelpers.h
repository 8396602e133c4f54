// Small helpers the windows share: placing a window on the screen, and the sunken text panels.
#pragma once

class QLabel;
class QWidget;

// Centres a top-level window on the primary screen.
void centreOnScreen(QWidget *window);
// Puts a top-level window in the top right corner of the primary screen.
void toTopRight(QWidget *window);
// A sunken panel showing plain text.
QLabel *textPanel(QWidget *parent, const char *name, int minimumWidth = 180);
