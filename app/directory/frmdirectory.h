// The directory window. For now it holds the address box and the Call button: type an e-mail or
// IP address and call it.
#pragma once

#include "shell/toolwindow.h"

class OutgoingCall;
class QLineEdit;
class QPushButton;

class FrmDirectory : public ToolWindow
{
    Q_OBJECT
public:
    explicit FrmDirectory(OutgoingCall &outgoing, QWidget *parent = nullptr);

    void callTyped();

private:
    OutgoingCall &m_outgoing;
    QLineEdit *m_address;
    QPushButton *m_call;
};
