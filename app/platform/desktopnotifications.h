// The desktop's notification service (org.freedesktop.Notifications on the session bus): shows a
// notice with its actions, closes it again, and reports which action the user chose and when a
// notice went away. Calls are asynchronous, so a slow or missing service never holds up the
// program; without a session bus or a service nothing is shown and the program goes on as
// before, with one line for the debugging output at most.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

class DesktopNotifications : public QObject
{
    Q_OBJECT
public:
    // Whether a session bus may be there to talk to. Asked for one that is not, Qt's D-Bus keeps
    // what it made for the attempt until the process ends; where the address names a socket file
    // (as every desktop's does), the file's absence says enough.
    static bool sessionBusMayExist();

    struct Notice {
        QString summary, body;
        // Pairs of an action's key and its label, as the service takes them.
        QStringList actions;
        bool urgent = false;
        int timeoutMs = -1; // -1: the service decides; 0: until closed
        QString category;   // "im.received", "call.incoming"...
    };

    explicit DesktopNotifications(QObject *parent = nullptr);
    ~DesktopNotifications() override;

    // Shows a notice, or replaces the one with that handle; returns its handle (0 when there is
    // no session bus). The handle stays valid until the notice is closed.
    int show(const Notice &notice, int replaces = 0);
    void close(int handle);
    // False once the service has said it shows no actions (they are left off then).
    bool actionsOffered() const { return m_actions; }

signals:
    void actionInvoked(int handle, const QString &action);
    // The notice expired, was dismissed or was closed by the program.
    void closed(int handle);

private slots:
    void onActionInvoked(uint id, const QString &action);
    void onClosed(uint id, uint reason);

private:
    int handleOf(uint id) const;
    void failed(const QString &why);

    bool m_bus = false;
    bool m_actions = true;
    bool m_failureSaid = false;
    int m_nextHandle = 1;
    QHash<int, uint> m_ids;   // handle -> the service's id (0 until it answers)
    QHash<int, bool> m_close; // closed before the service had answered
};
