// The directory window.
#include "frmdirectory.h"

#include "calls/outgoingcall.h"
#include "shell/ui/pictures.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

FrmDirectory::FrmDirectory(OutgoingCall &outgoing, QWidget *parent)
    : ToolWindow(parent, Qt::Window), m_outgoing(outgoing)
{
    setObjectName(QStringLiteral("frmDirectory"));
    setWindowTitle(QStringLiteral("Online Directories"));
    setWindowIcon(Pictures::appIcon());
    auto *label = new QLabel(QStringLiteral("Email or IP Address:"), this);
    label->setObjectName(QStringLiteral("lblAddress"));
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("txtConnectID"));
    m_address->setMinimumWidth(260);
    // Addresses travel as protocol fields, so ";" is refused at the keyboard.
    m_address->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^;]*")), m_address));
    label->setBuddy(m_address);
    m_call = new QPushButton(QStringLiteral("Call"), this);
    m_call->setObjectName(QStringLiteral("cmdCall"));
    m_call->setEnabled(false);
    m_call->setDefault(true);
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));

    auto *row = new QHBoxLayout;
    row->addWidget(m_address, 1);
    row->addWidget(m_call);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(row);
    layout->addStretch(1);
    layout->addLayout(buttons);

    connect(m_address, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_call->setEnabled(!text.trimmed().isEmpty()); });
    connect(m_address, &QLineEdit::returnPressed, this, &FrmDirectory::callTyped);
    connect(m_call, &QPushButton::clicked, this, &FrmDirectory::callTyped);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void FrmDirectory::callTyped()
{
    m_outgoing.callTyped(m_address->text());
}
