// The call progress window: shows OutgoingCall's state four times a second and offers Cancel (or
// OK once the call has ended one way or another), and why a call failed.
#pragma once

#include <QWidget>

class OutgoingCall;
class QLabel;
class QPushButton;

class CallProgressWindow : public QWidget
{
    Q_OBJECT
public:
    explicit CallProgressWindow(OutgoingCall &call, QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void refresh();
    void open();

    OutgoingCall &m_call;
    QLabel *m_name, *m_location, *m_status, *m_reason, *m_seconds, *m_activity;
    QPushButton *m_cancel;
};
