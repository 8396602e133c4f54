// The splash window shown during the first seconds of start-up.
#pragma once

#include <QWidget>

class SplashWindow : public QWidget
{
    Q_OBJECT
public:
    explicit SplashWindow(QWidget *parent = nullptr);
};
