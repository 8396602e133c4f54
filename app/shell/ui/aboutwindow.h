// The About box.
#pragma once

#include <QWidget>

class OptionsModel;

class AboutWindow : public QWidget
{
    Q_OBJECT
public:
    // With the options model, it also shows what the router did with the listening ports.
    explicit AboutWindow(OptionsModel *options = nullptr, QWidget *parent = nullptr);
};
