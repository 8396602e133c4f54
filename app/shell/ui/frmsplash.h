// The splash window shown during the first seconds of start-up.
#pragma once

#include <QWidget>

class FrmSplash : public QWidget
{
    Q_OBJECT
public:
    explicit FrmSplash(QWidget *parent = nullptr);
};
