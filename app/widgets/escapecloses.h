// Escape closes the program's dialog-like windows built on plain QWidget, as it closes a QDialog:
// one filter on the application sees each key press on its way from the focused control up to
// its window, and closes the window when the press reaches it unused (no control took Escape).
// The main window and QDialogs (which handle Escape themselves) are left alone, as are pop-ups.
#pragma once

#include <QObject>

class EscapeCloses : public QObject
{
public:
    using QObject::QObject;

    // Installs one filter on the running application (once; later calls do nothing).
    static void install();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
