// The busy notice.
#include "busynotice.h"

#include "calls/incomingcall.h"
#include "widgets/pictures.h"
#include "widgets/windowhelpers.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>

BusyNotice::BusyNotice(IncomingCall &call, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), m_call(call)
{
    setObjectName(QStringLiteral("frmBusyNotify"));
    setWindowTitle(QStringLiteral("OVELA Incoming Call..."));
    setWindowIcon(Pictures::appIcon());
    auto *icon = new QLabel(this);
    icon->setPixmap(Pictures::busy());
    auto *text = new QLabel(QStringLiteral("A Busy signal is being sent to this Person"), this);
    text->setObjectName(QStringLiteral("lblBusy"));
    m_name = textPanel(this, "pnlUserName");
    m_location = textPanel(this, "pnlUserLocation");
    auto *form = new QFormLayout;
    form->addRow(text);
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("From:"), m_location);
    // Who was turned away, for a screen reader: the panels take the focus.
    for (QLabel *panel : {m_name, m_location})
        panel->setFocusPolicy(Qt::TabFocus);
    m_name->setAccessibleDescription(QStringLiteral("Name"));
    m_location->setAccessibleDescription(QStringLiteral("From"));
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addLayout(form, 1);
    connect(&m_call, &IncomingCall::busyChanged, this, &BusyNotice::refresh);
}

void BusyNotice::refresh()
{
    m_name->setText(m_call.busyName());
    m_location->setText(m_call.busyLocation());
    if (m_call.busyVisible() && !isVisible()) {
        toTopRight(this);
        show();
    } else if (!m_call.busyVisible()) {
        hide();
    }
}
