// Notices through the desktop's notification service.
#include "desktopnotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>
#include <QFileInfo>
#include <QVariantMap>

namespace
{
const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");

QDBusMessage method(const char *name)
{
    return QDBusMessage::createMethodCall(Service, Path, Interface, QLatin1String(name));
}
} // namespace

bool DesktopNotifications::sessionBusMayExist()
{
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
    }
    const QString prefix = QStringLiteral("unix:path=");
    if (!address.startsWith(prefix)) return true; // abstract sockets, TCP: only Qt can tell
    return QFileInfo::exists(address.mid(prefix.size()).section(QLatin1Char(','), 0, 0));
}

DesktopNotifications::DesktopNotifications(QObject *parent) : QObject(parent)
{
    if (!sessionBusMayExist()) {
        failed(QStringLiteral("no session bus"));
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    m_bus = bus.isConnected();
    if (!m_bus) {
        failed(QStringLiteral("no session bus"));
        return;
    }
    bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                SLOT(onActionInvoked(uint, QString)));
    bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this,
                SLOT(onClosed(uint, uint)));
    // Servers without actions get none: the windows answer calls there.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(method("GetCapabilities")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        const QDBusPendingReply<QStringList> reply = *w;
        if (!reply.isError()) m_actions = reply.value().contains(QStringLiteral("actions"));
        w->deleteLater();
    });
}

DesktopNotifications::~DesktopNotifications() = default;

void DesktopNotifications::failed(const QString &why)
{
    if (m_failureSaid) return;
    m_failureSaid = true;
    qInfo().noquote() << "No desktop notifications:" << why;
}

int DesktopNotifications::show(const Notice &notice, int replaces)
{
    if (!m_bus) return 0;
    const int handle = replaces && m_ids.contains(replaces) ? replaces : m_nextHandle++;
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("ovela"));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(notice.urgent ? 2 : 1)));
    if (!notice.category.isEmpty()) hints.insert(QStringLiteral("category"), notice.category);
    QDBusMessage call = method("Notify");
    call << QStringLiteral("OVELA") << m_ids.value(handle) << QStringLiteral("ovela")
         << notice.summary << notice.body << (m_actions ? notice.actions : QStringList()) << hints
         << qint32(notice.timeoutMs);
    m_ids.insert(handle, m_ids.value(handle));
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, handle](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                const QDBusPendingReply<uint> reply = *w;
                if (reply.isError()) {
                    failed(reply.error().message());
                    m_ids.remove(handle);
                    m_close.remove(handle);
                    return;
                }
                if (!m_ids.contains(handle)) return;
                m_ids.insert(handle, reply.value());
                if (m_close.take(handle)) close(handle);
            });
    return handle;
}

void DesktopNotifications::close(int handle)
{
    if (!m_ids.contains(handle)) return;
    const uint id = m_ids.value(handle);
    if (id == 0) {
        m_close.insert(handle, true); // once the service has said which one it is
        return;
    }
    QDBusMessage call = method("CloseNotification");
    call << id;
    QDBusConnection::sessionBus().asyncCall(call);
}

int DesktopNotifications::handleOf(uint id) const
{
    for (auto it = m_ids.begin(); it != m_ids.end(); ++it)
        if (it.value() == id && id != 0) return it.key();
    return 0;
}

void DesktopNotifications::onActionInvoked(uint id, const QString &action)
{
    if (const int handle = handleOf(id)) emit actionInvoked(handle, action);
}

void DesktopNotifications::onClosed(uint id, uint reason)
{
    Q_UNUSED(reason);
    const int handle = handleOf(id);
    if (!handle) return;
    m_ids.remove(handle);
    emit closed(handle);
}
