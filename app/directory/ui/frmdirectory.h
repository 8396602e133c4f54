// The directory window. For now it holds the address box and the Call button: type an e-mail
// address, or an IP address or host name with an optional ":port", and call it.
#pragma once

#include "shell/ui/toolwindow.h"

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
