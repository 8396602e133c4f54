// The program's notifications.
#include "desktopnotices.h"

#include "calls/incomingcall.h"
#include "directory/palpresence.h"
#include "messaging/quickmessagereceiver.h"
#include "platform/usermessages.h"
#include "userdata/desktopoptions.h"
#include "userdata/lists.h"

#include <QTime>

DesktopNotices::DesktopNotices(const Deps &deps, QObject *parent) : QObject(parent), m_deps(deps)
{
    connect(&deps.incoming, &IncomingCall::promptChanged, this, &DesktopNotices::onPromptChanged);
    connect(&deps.incoming, &IncomingCall::promptClosed, this, &DesktopNotices::onPromptClosed);
    connect(
        &deps.incoming, &IncomingCall::autoDeclined, this,
        [this](const QString &name, const QString &location) {
            m_deps.notifications.show(
                {QStringLiteral("Missed call from %1").arg(name),
                 QStringLiteral("%1, at %2").arg(location, QTime::currentTime().toString("HH:mm")),
                 {},
                 false,
                 0,
                 QStringLiteral("call.unanswered")});
        });
    connect(&deps.received, &QuickMessageReceiver::messageArrived, this,
            &DesktopNotices::onMessage);
    connect(&deps.presence, &PalPresence::palListsChanged, this, &DesktopNotices::onPalLists);
    connect(&deps.notifications, &DesktopNotifications::actionInvoked, this,
            &DesktopNotices::onAction);
    connect(&deps.notifications, &DesktopNotifications::closed, this, [this](int handle) {
        if (handle == m_callNotice) m_callNotice = 0;
    });
}

void DesktopNotices::onPromptChanged()
{
    const IncomingCall &in = m_deps.incoming;
    // The countdown changes the prompt every second; only a new caller changes the notice.
    if (!in.promptOpen() ||
        (m_callNotice && in.userName() == m_callName && in.userLocation() == m_callLocation))
        return;
    m_callName = in.userName();
    m_callLocation = in.userLocation();
    DesktopNotifications::Notice notice;
    notice.category = QStringLiteral("call.incoming");
    if (in.buttonsVisible()) {
        notice.summary = QStringLiteral("Incoming call from %1").arg(m_callName);
        notice.body = m_callLocation;
        notice.actions = {AcceptAction, QStringLiteral("Accept"), DeclineAction,
                          QStringLiteral("Decline")};
        notice.urgent = true;
        notice.timeoutMs = 0; // it goes when the prompt closes
    } else {
        notice.summary = QStringLiteral("Call from %1").arg(m_callName);
        notice.body = m_callLocation + QStringLiteral("\nAccepted automatically");
    }
    m_callNotice = m_deps.notifications.show(notice, m_callNotice);
}

void DesktopNotices::onPromptClosed()
{
    // An auto-accepted call's notice stays for the service to expire; a question is over.
    if (m_callNotice && m_deps.incoming.message() != IncomingCall::AutoAcceptText)
        m_deps.notifications.close(m_callNotice);
    m_callNotice = 0;
}

void DesktopNotices::onAction(int handle, const QString &action)
{
    if (handle != m_callNotice || !m_deps.incoming.promptOpen()) return;
    if (action == AcceptAction)
        m_deps.incoming.answerYes();
    else if (action == DeclineAction)
        m_deps.incoming.answerNo();
}

void DesktopNotices::onMessage(const ReceivedMessage &message)
{
    QString text = message.text.simplified();
    if (text.size() > MessageBodyChars) text = text.left(MessageBodyChars - 1) + QChar(0x2026);
    m_deps.notifications.show({QStringLiteral("Quick message from %1").arg(message.name),
                               text,
                               {},
                               false,
                               -1,
                               QStringLiteral("im.received")});
}

void DesktopNotices::onPalLists()
{
    QSet<QString> online;
    for (const PalEntry &pal : m_deps.pals.entries)
        if (pal.Status == 2) online.insert(pal.EMail);
    if (m_deps.options.palOnlineNotices) {
        for (const PalEntry &pal : m_deps.pals.entries) {
            if (pal.Status != 2 || m_online.contains(pal.EMail)) continue;
            m_deps.notifications.show({QStringLiteral("%1 is online").arg(pal.Name),
                                       pal.Location.isEmpty() ? pal.EMail : pal.Location,
                                       {},
                                       false,
                                       -1,
                                       QStringLiteral("presence.online")});
        }
    }
    m_online = online;
}

void DesktopNotices::keptRunningInTray()
{
    if (m_deps.options.trayNoticeShown) return;
    m_deps.options.trayNoticeShown = true;
    m_deps.notifications.show(
        {QStringLiteral("OVELA is still running"),
         QStringLiteral("It waits for calls and messages in the tray. Click its icon to show the "
                        "window again; Quit in the icon's menu ends it."),
         {},
         false,
         -1,
         QString()});
    if (const QString error = m_deps.options.save(); !error.isEmpty())
        m_deps.messages.showErrorMessage(error);
}
