// The About box.
#pragma once

#include <QWidget>

class FrmAbout : public QWidget
{
    Q_OBJECT
public:
    explicit FrmAbout(QWidget *parent = nullptr);
};
