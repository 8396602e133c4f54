// The busy notice: the caller who was just told busy, shown for a few seconds.
#pragma once

#include <QWidget>

class IncomingCall;
class QLabel;

class BusyNotice : public QWidget
{
    Q_OBJECT
public:
    explicit BusyNotice(IncomingCall &call, QWidget *parent = nullptr);

private:
    void refresh();

    IncomingCall &m_call;
    QLabel *m_name, *m_location;
};
