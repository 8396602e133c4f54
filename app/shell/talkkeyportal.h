// The talk key through the desktop portal's global shortcuts
// (org.freedesktop.portal.GlobalShortcuts on the session bus), for desktops that give programs no
// key grab of their own (Wayland): a session, the key bound in it as the shortcut's preferred
// trigger (the desktop may ask the user to confirm it or choose another), and its Activated and
// Deactivated signals as the key's presses and releases.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

class TalkKey;

class TalkKeyPortal : public QObject
{
    Q_OBJECT
public:
    // Whether the session bus has a desktop portal that offers global shortcuts (it answers
    // with the interface's version).
    static bool offered(const QDBusConnection &bus);

    TalkKeyPortal(TalkKey &key, const QDBusConnection &bus, QObject *parent = nullptr);

private slots:
    void sessionCreated(uint response, const QVariantMap &results);
    // Activated and Deactivated: (o session_handle, s shortcut_id, t timestamp, a{sv} options).
    void activated(const QDBusMessage &signal);
    void deactivated(const QDBusMessage &signal);

private:
    void bind(const QString &key);
    bool ours(const QDBusMessage &signal) const;
    // A call that answers through a request object; `slot` receives its Response.
    void request(const QString &method, QList<QVariant> arguments, const char *slot);

    TalkKey &m_key;
    QDBusConnection m_bus;
    QString m_session;
    int m_tokens = 0;
};
