// The incoming-call prompt.
#include "incomingcallwindow.h"

#include "calls/incomingcall.h"
#include "widgets/pictures.h"
#include "widgets/windowhelpers.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

IncomingCallWindow::IncomingCallWindow(IncomingCall &call, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), m_call(call)
{
    setObjectName(QStringLiteral("frmCallIn"));
    setWindowTitle(QStringLiteral("OVELA Incoming Call..."));
    setWindowIcon(Pictures::appIcon());

    auto *icon = new QLabel(this);
    icon->setPixmap(Pictures::incomingCall());
    m_name = textPanel(this, "pnlUserName");
    m_location = textPanel(this, "pnlUserLocation");
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("From:"), m_location);
    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(form, 1);

    m_message = new QLabel(IncomingCall::AskText, this);
    m_message->setObjectName(QStringLiteral("lblCallMessage"));
    m_message->setAlignment(Qt::AlignCenter);
    QFont bold = m_message->font();
    bold.setBold(true);
    m_message->setFont(bold);

    m_yes = new QPushButton(QStringLiteral("YES"), this);
    m_yes->setObjectName(QStringLiteral("cmdCallYes"));
    m_yes->setDefault(true);
    m_no = new QPushButton(QStringLiteral("NO"), this);
    m_no->setObjectName(QStringLiteral("cmdCallNo"));
    m_autoAccept = new QCheckBox(QStringLiteral("Auto Accept"), this);
    m_autoAccept->setObjectName(QStringLiteral("chkAutoAccept"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_autoAccept);
    buttons->addStretch(1);
    buttons->addWidget(m_yes);
    buttons->addWidget(m_no);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_message);
    layout->addLayout(buttons);

    connect(m_yes, &QPushButton::clicked, &m_call, &IncomingCall::answerYes);
    connect(m_no, &QPushButton::clicked, &m_call, &IncomingCall::answerNo);
    connect(m_autoAccept, &QCheckBox::toggled, &m_call, &IncomingCall::setAutoAcceptChecked);
    connect(&m_call, &IncomingCall::promptChanged, this, &IncomingCallWindow::refresh);
    connect(&m_call, &IncomingCall::promptClosed, this, &QWidget::hide);
}

void IncomingCallWindow::refresh()
{
    const bool wasVisible = isVisible();
    m_name->setText(m_call.userName());
    m_location->setText(m_call.userLocation());
    m_message->setText(m_call.message());
    m_yes->setVisible(m_call.buttonsVisible());
    m_no->setVisible(m_call.buttonsVisible());
    // Who calls, for a screen reader on the focused button (the panels take no focus).
    const QString caller = m_call.userName() + QStringLiteral(", ") + m_call.userLocation();
    m_yes->setAccessibleDescription(QStringLiteral("Answer the call from ") + caller);
    m_no->setAccessibleDescription(QStringLiteral("Turn away the call from ") + caller);
    {
        const QSignalBlocker quiet(m_autoAccept);
        m_autoAccept->setChecked(m_call.autoAcceptChecked());
    }
    if (!wasVisible) {
        toTopRight(this);
        show();
        raise();
    }
}

void IncomingCallWindow::closeEvent(QCloseEvent *event)
{
    // Closing the prompt from its frame closes it like any other way: no answer is sent.
    m_call.closePrompt();
    QWidget::closeEvent(event);
}
