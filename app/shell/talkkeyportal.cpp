// The talk key through the desktop portal.
#include "talkkeyportal.h"

#include "shell/talkkey.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace
{
const QString Service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString Path = QStringLiteral("/org/freedesktop/portal/desktop");
const QString Shortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString Request = QStringLiteral("org.freedesktop.portal.Request");
const QString ShortcutId = QStringLiteral("talk");
constexpr int CallMs = 3000;

// One shortcut as BindShortcuts takes it: (sa{sv}).
struct Shortcut {
    QString id;
    QVariantMap options;
};
QDBusArgument &operator<<(QDBusArgument &out, const Shortcut &s)
{
    out.beginStructure();
    out << s.id << s.options;
    out.endStructure();
    return out;
}
const QDBusArgument &operator>>(const QDBusArgument &in, Shortcut &s)
{
    in.beginStructure();
    in >> s.id >> s.options;
    in.endStructure();
    return in;
}

// Qt's "Ctrl+Shift+F9" as the desktop portal writes a trigger: "CTRL+SHIFT+F9".
QString trigger(const QString &key)
{
    QStringList parts = key.split(QLatin1Char('+'));
    for (int i = 0; i + 1 < parts.size(); ++i)
        parts[i] = parts[i].toUpper();
    return parts.join(QLatin1Char('+'));
}
} // namespace

Q_DECLARE_METATYPE(Shortcut)

bool TalkKeyPortal::offered(const QDBusConnection &bus)
{
    if (!bus.isConnected()) return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        Service, Path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << Shortcuts << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, CallMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toUInt() > 0;
}

TalkKeyPortal::TalkKeyPortal(TalkKey &key, const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_key(key), m_bus(bus)
{
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    m_bus.connect(Service, Path, Shortcuts, QStringLiteral("Activated"), this,
                  SLOT(activated(QDBusMessage)));
    m_bus.connect(Service, Path, Shortcuts, QStringLiteral("Deactivated"), this,
                  SLOT(deactivated(QDBusMessage)));
    connect(&m_key, &TalkKey::keyChanged, this, &TalkKeyPortal::bind);
    request(QStringLiteral("CreateSession"),
            {QVariantMap{{QStringLiteral("session_handle_token"), QStringLiteral("ovela")}}},
            SLOT(sessionCreated(uint, QVariantMap)));
}

void TalkKeyPortal::request(const QString &method, QList<QVariant> arguments, const char *slot)
{
    // The request object's path is known before the call, so its Response cannot be missed.
    const QString handle = QStringLiteral("ovela%1").arg(++m_tokens);
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path = Path + QStringLiteral("/request/") + sender + QLatin1Char('/') + handle;
    if (slot) m_bus.connect(Service, path, Request, QStringLiteral("Response"), this, slot);
    QVariantMap options = arguments.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), handle);
    arguments.append(options);
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Shortcuts, method);
    call.setArguments(arguments);
    m_bus.call(call, QDBus::Block, CallMs); // a refusal leaves the key unbound
}

void TalkKeyPortal::sessionCreated(uint response, const QVariantMap &results)
{
    if (response != 0) return;
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    // An object path, or a string in the portal's first versions.
    m_session = handle.metaType() == QMetaType::fromType<QDBusObjectPath>()
                    ? qvariant_cast<QDBusObjectPath>(handle).path()
                    : handle.toString();
    bind(m_key.key());
}

void TalkKeyPortal::bind(const QString &key)
{
    if (m_session.isEmpty() || key.isEmpty()) return;
    const QList<Shortcut> shortcuts{
        {ShortcutId,
         {{QStringLiteral("description"), QStringLiteral("Push to talk in OVELA")},
          {QStringLiteral("preferred_trigger"), trigger(key)}}}};
    request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts),
             QString(), QVariantMap()},
            nullptr);
}

bool TalkKeyPortal::ours(const QDBusMessage &signal) const
{
    const QList<QVariant> args = signal.arguments();
    if (args.size() < 2 || m_session.isEmpty()) return false;
    return qvariant_cast<QDBusObjectPath>(args.at(0)).path() == m_session &&
           args.at(1).toString() == ShortcutId;
}

void TalkKeyPortal::activated(const QDBusMessage &signal)
{
    // A key cleared in the options stays bound in the desktop; it no longer talks.
    if (ours(signal) && !m_key.key().isEmpty()) m_key.pressed();
}

void TalkKeyPortal::deactivated(const QDBusMessage &signal)
{
    if (ours(signal)) m_key.released();
}
