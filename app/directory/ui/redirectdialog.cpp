// The redirect prompt.
#include "redirectdialog.h"

#include "widgets/pictures.h"
#include "widgets/windowhelpers.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

RedirectDialog::RedirectDialog(const QString &address, const QString &description, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::Dialog)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmRedirect"));
    setWindowTitle(QStringLiteral("Veltrane Active"));
    setWindowIcon(Pictures::appIcon());
    auto *text = new QLabel(QStringLiteral("You have been blocked from the Directory server that "
                                           "you are trying to connect to. The following server "
                                           "has been provided for your usage."),
                            this);
    text->setWordWrap(true);
    m_address = textPanel(this, "pnlAddress");
    m_address->setText(address);
    QLabel *desc = textPanel(this, "pnlDesc");
    desc->setText(description);
    desc->setWordWrap(true);
    auto *question = new QLabel(QStringLiteral("Would you Like to Connect to this Server?"), this);
    m_yes = new QPushButton(QStringLiteral("Yes"), this);
    m_yes->setObjectName(QStringLiteral("cmdYes"));
    m_no = new QPushButton(QStringLiteral("No"), this);
    m_no->setObjectName(QStringLiteral("cmdNo"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_yes);
    buttons->addWidget(m_no);
    auto *layout = new QVBoxLayout(this);
    for (QWidget *w : {static_cast<QWidget *>(text), static_cast<QWidget *>(m_address),
                       static_cast<QWidget *>(desc), static_cast<QWidget *>(question)})
        layout->addWidget(w);
    layout->addLayout(buttons);
    setFixedWidth(380);
    // The caption of the button under the mouse turns bold.
    for (QPushButton *b : {m_yes, m_no})
        b->installEventFilter(this);
    connect(m_yes, &QPushButton::clicked, this, [this] {
        hide();
        emit accepted(m_address->text());
        close();
    });
    connect(m_no, &QPushButton::clicked, this, &QWidget::close);
    centreOnScreen(this);
}

bool RedirectDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Enter || event->type() == QEvent::Leave) {
        auto *b = static_cast<QPushButton *>(watched);
        QFont f = b->font();
        f.setBold(event->type() == QEvent::Enter);
        b->setFont(f);
    }
    return QWidget::eventFilter(watched, event);
}
