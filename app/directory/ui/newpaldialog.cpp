// The New Pal window.
#include "newpaldialog.h"

#include "directory/directorymodel.h"
#include "widgets/pictures.h"
#include "widgets/windowhelpers.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

NewPalDialog::NewPalDialog(DirectoryModel &model, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::Dialog), m_model(model)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmNewPal"));
    setWindowTitle(QStringLiteral("New Pal Entry"));
    setWindowIcon(Pictures::appIcon());
    auto *prompt = new QLabel(
        QStringLiteral("Enter the Email address of the Pal to be Added to your OVELA Pals."), this);
    prompt->setWordWrap(true);
    m_email = new QLineEdit(this);
    // The address travels as a protocol field, so ";" is refused at the keyboard.
    m_email->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^;]*")), m_email));
    m_email->setObjectName(QStringLiteral("txtEmail"));
    m_email->setMinimumWidth(260);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Email:"), m_email);
    m_email->setAccessibleDescription(prompt->text());
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdClose"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] {
        if (m_model.addPal(m_email->text())) close();
    });
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(m_email, &QLineEdit::returnPressed, ok, &QPushButton::click);
    centreOnScreen(this);
}
