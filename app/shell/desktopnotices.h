// What OVELA tells the desktop's notification service: an incoming call, with Accept and Decline
// that answer it as the prompt's YES and NO do; a call that nobody answered; a quick message
// that arrived; a pal who came online (when the user asked for it); and, the first time the main
// window is closed into the tray, that the program is still running.
#pragma once

#include "platform/desktopnotifications.h"

#include <QObject>
#include <QSet>

class DesktopOptions;
class IncomingCall;
class PalPresence;
class QuickMessageReceiver;
struct PalList;
struct ReceivedMessage;
class UserMessages;

class DesktopNotices : public QObject
{
    Q_OBJECT
public:
    inline static const QString AcceptAction = QStringLiteral("accept");
    inline static const QString DeclineAction = QStringLiteral("decline");
    static constexpr int MessageBodyChars = 200;

    struct Deps {
        IncomingCall &incoming;
        QuickMessageReceiver &received;
        PalPresence &presence;
        const PalList &pals;
        DesktopOptions &options;
        DesktopNotifications &notifications;
        UserMessages &messages;
    };
    explicit DesktopNotices(const Deps &deps, QObject *parent = nullptr);

    // The main window was closed while the tray keeps the program: said once, ever.
    void keptRunningInTray();

private:
    void onPromptChanged();
    void onPromptClosed();
    void onAction(int handle, const QString &action);
    void onMessage(const ReceivedMessage &message);
    void onPalLists();

    Deps m_deps;
    int m_callNotice = 0;
    QString m_callName, m_callLocation;
    QSet<QString> m_online; // the pals' addresses last seen online
};
