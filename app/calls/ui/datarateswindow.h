// The data-rates window: pictures per second captured, received and sent, and bits per second
// each way, during a call.
#pragma once

#include "widgets/toolwindow.h"

class QLabel;

class DataRatesWindow : public ToolWindow
{
    Q_OBJECT
public:
    explicit DataRatesWindow(QWidget *parent = nullptr);

    // Each figure as shown: frames per second or bits per second, "0.0" between calls.
    void setFigure(const char *panel, const QString &text);
    void showFigures(const QString &fpsIn, const QString &fpsOut, const QString &bpsIn,
                     const QString &bpsOut);
    void resetFigures();

private:
    QLabel *figure(const char *name);
};
