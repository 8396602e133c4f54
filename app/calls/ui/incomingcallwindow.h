// The incoming-call prompt: shows what IncomingCall holds and hands the user's answer back to it.
#pragma once

#include <QWidget>

class IncomingCall;
class QCheckBox;
class QLabel;
class QPushButton;

class IncomingCallWindow : public QWidget
{
    Q_OBJECT
public:
    explicit IncomingCallWindow(IncomingCall &call, QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void refresh();
    void placeTopRight();

    IncomingCall &m_call;
    QLabel *m_name, *m_location, *m_message;
    QPushButton *m_yes, *m_no;
    QCheckBox *m_autoAccept;
};
