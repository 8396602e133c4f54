// The self-view window, which holds the camera preview, and the data-rates window with the
// picture and throughput figures of a call.
#pragma once

#include "shell/toolwindow.h"

class QLabel;
class QPushButton;

class FrmSelf : public ToolWindow
{
    Q_OBJECT
public:
    explicit FrmSelf(QWidget *parent = nullptr);

    QWidget *captureArea() const { return m_capture; }
    void setDeviceName(const QString &name);

signals:
    void settingsRequested();

private:
    QWidget *m_capture;
    QLabel *m_caption;
    QPushButton *m_settings;
};

class FrmRates : public ToolWindow
{
    Q_OBJECT
public:
    explicit FrmRates(QWidget *parent = nullptr);

    // Each figure as shown: frames per second or bits per second, "0.0" between calls.
    void setFigure(const char *panel, const QString &text);
    void resetFigures();

private:
    QLabel *figure(const char *name);
};
