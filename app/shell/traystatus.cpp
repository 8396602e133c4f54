// The tray icon's state.
#include "traystatus.h"

#include "messaging/quickmessagereceiver.h"
#include "shell/mainwindowmodel.h"

TrayStatus::TrayStatus(MainWindowModel &main, QuickMessageReceiver &received, QObject *parent)
    : QObject(parent), m_main(main), m_received(received)
{
    connect(&main, &MainWindowModel::doNotDisturbChanged, this, &TrayStatus::changed);
    connect(&main, &MainWindowModel::callEntered, this, &TrayStatus::changed);
    connect(&main, &MainWindowModel::callEnded, this, &TrayStatus::changed);
    connect(&received, &QuickMessageReceiver::indicatorChanged, this, &TrayStatus::changed);
}

TrayStatus::Presence TrayStatus::presence() const
{
    if (m_main.doNotDisturb()) return Presence::DoNotDisturb;
    return m_main.inCall() ? Presence::InCall : Presence::Available;
}

int TrayStatus::unreadMessages() const
{
    return m_received.waitingCount();
}

QString TrayStatus::toolTip() const
{
    QString text = QStringLiteral("OVELA: ");
    switch (presence()) {
    case Presence::DoNotDisturb:
        text += QStringLiteral("Do Not Disturb");
        break;
    case Presence::InCall:
        text += QStringLiteral("in a call");
        break;
    case Presence::Available:
        text += QStringLiteral("available");
        break;
    }
    const int unread = unreadMessages();
    if (unread == 1)
        text += QStringLiteral("\n1 quick message waiting");
    else if (unread > 1)
        text += QStringLiteral("\n%1 quick messages waiting").arg(unread);
    return text;
}
