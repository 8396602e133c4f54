// The call progress window.
#include "callprogresswindow.h"

#include "calls/outgoingcall.h"
#include "widgets/pictures.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

CallProgressWindow::CallProgressWindow(OutgoingCall &call, QWidget *parent)
    : QWidget(parent, Qt::Window), m_call(call)
{
    setObjectName(QStringLiteral("frmConStatus"));
    setWindowTitle(QStringLiteral("Connecting..."));
    setWindowIcon(Pictures::appIcon());
    auto panel = [this](const char *name) {
        auto *label = new QLabel(this);
        label->setObjectName(QLatin1String(name));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setMinimumWidth(200);
        label->setTextFormat(Qt::PlainText);
        return label;
    };
    m_name = panel("pnlUserName");
    m_location = panel("pnlUserLocation");
    m_status = panel("pnlConStatus");
    m_reason = new QLabel(this);
    m_reason->setObjectName(QStringLiteral("pnlReason"));
    m_reason->setTextFormat(Qt::PlainText);
    m_reason->setWordWrap(true);
    m_reason->hide();
    m_seconds = panel("pnlSecond");
    m_seconds->setMinimumWidth(70);
    m_seconds->setAlignment(Qt::AlignCenter);
    m_activity = new QLabel(this);
    m_activity->setObjectName(QStringLiteral("pnlActivity"));
    m_activity->setPixmap(Pictures::animation(0));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("Location:"), m_location);
    form->addRow(QStringLiteral("Status:"), m_status);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_activity);
    bottom->addWidget(m_seconds);
    bottom->addStretch(1);
    bottom->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_reason);
    layout->addLayout(bottom);

    connect(m_cancel, &QPushButton::clicked, &m_call, &OutgoingCall::cancel);
    connect(&m_call, &OutgoingCall::windowOpened, this, &CallProgressWindow::open);
    connect(&m_call, &OutgoingCall::changed, this, &CallProgressWindow::refresh);
    connect(&m_call, &OutgoingCall::windowClosed, this, &QWidget::hide);
}

void CallProgressWindow::open()
{
    refresh();
    adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
}

void CallProgressWindow::refresh()
{
    m_name->setText(m_call.userName());
    m_location->setText(m_call.userLocation());
    m_status->setText(m_call.status());
    if (m_reason->text() != m_call.reason()) {
        m_reason->setText(m_call.reason());
        m_reason->setVisible(!m_call.reason().isEmpty());
        adjustSize();
    }
    m_seconds->setText(m_call.secondsText());
    m_cancel->setText(m_call.cancelText());
    m_activity->setPixmap(Pictures::animation(m_call.frame()));
}

void CallProgressWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window is cancelling the call.
    if (m_call.windowOpen()) m_call.cancel();
    QWidget::closeEvent(event);
}
