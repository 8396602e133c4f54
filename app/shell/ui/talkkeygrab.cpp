// The talk key's presses: an X server grab, or OVELA's own windows.
#include "talkkeygrab.h"

#include "platform/desktopnotifications.h"
#include "shell/talkkey.h"
#include "shell/talkkeyportal.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>

#include <X11/keysym.h>
#include <xcb/xcb.h>

#include <memory>

namespace
{
// The variants grabbed besides the key itself: Caps Lock, Num Lock (Mod2 on every usual
// keyboard map) and both.
constexpr quint16 LockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                    XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr quint16 ChosenModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
// The release that may be half of an auto-repeat waits this long for its press.
constexpr int RepeatWaitMs = 40;

xcb_connection_t *connection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootWindow(xcb_connection_t *c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

// The X key symbol of a Qt key; 0 for a key without one here.
quint32 keysym(int key)
{
    if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde)
        return key >= Qt::Key_A && key <= Qt::Key_Z ? quint32(key - Qt::Key_A + XK_a)
                                                    : quint32(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) return quint32(key - Qt::Key_F1 + XK_F1);
    static const struct {
        int qt;
        quint32 x;
    } Named[] = {{Qt::Key_Escape, XK_Escape},
                 {Qt::Key_Tab, XK_Tab},
                 {Qt::Key_Backspace, XK_BackSpace},
                 {Qt::Key_Return, XK_Return},
                 {Qt::Key_Enter, XK_KP_Enter},
                 {Qt::Key_Insert, XK_Insert},
                 {Qt::Key_Delete, XK_Delete},
                 {Qt::Key_Pause, XK_Pause},
                 {Qt::Key_Print, XK_Print},
                 {Qt::Key_Home, XK_Home},
                 {Qt::Key_End, XK_End},
                 {Qt::Key_Left, XK_Left},
                 {Qt::Key_Up, XK_Up},
                 {Qt::Key_Right, XK_Right},
                 {Qt::Key_Down, XK_Down},
                 {Qt::Key_PageUp, XK_Page_Up},
                 {Qt::Key_PageDown, XK_Page_Down},
                 {Qt::Key_ScrollLock, XK_Scroll_Lock},
                 {Qt::Key_Menu, XK_Menu}};
    for (const auto &n : Named)
        if (n.qt == key) return n.x;
    return 0;
}

// The first key code that gives `sym`; 0 for none.
quint8 keycodeOf(xcb_connection_t *c, quint32 sym)
{
    const xcb_setup_t *setup = xcb_get_setup(c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&free)> map(
        xcb_get_keyboard_mapping_reply(
            c, xcb_get_keyboard_mapping(c, setup->min_keycode, quint8(count)), nullptr),
        &free);
    if (!map) return 0;
    const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(map.get());
    const int per = map->keysyms_per_keycode;
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < per; ++j)
            if (syms[i * per + j] == sym) return quint8(setup->min_keycode + i);
    return 0;
}

quint16 xModifiers(Qt::KeyboardModifiers m)
{
    return quint16((m & Qt::ShiftModifier ? XCB_MOD_MASK_SHIFT : 0) |
                   (m & Qt::ControlModifier ? XCB_MOD_MASK_CONTROL : 0) |
                   (m & Qt::AltModifier ? XCB_MOD_MASK_1 : 0) |
                   (m & Qt::MetaModifier ? XCB_MOD_MASK_4 : 0));
}
} // namespace

TalkKeyGrab::TalkKeyGrab(TalkKey &key, const QString &platform, QObject *parent)
    : QObject(parent), m_key(key), m_x11(platform == QLatin1String("xcb") && connection())
{
    // Without an X server, the desktop portal binds the key where it offers global shortcuts.
    if (!m_x11 && DesktopNotifications::sessionBusMayExist() &&
        TalkKeyPortal::offered(QDBusConnection::sessionBus()))
        m_portal = new TalkKeyPortal(m_key, QDBusConnection::sessionBus(), this);
    m_key.setGlobal(m_x11 || m_portal);
    m_release.setSingleShot(true);
    m_release.setInterval(RepeatWaitMs);
    connect(&m_release, &QTimer::timeout, this, [this] {
        m_down = false;
        m_key.released();
    });
    connect(&m_key, &TalkKey::keyChanged, this, &TalkKeyGrab::follow);
    if (m_x11)
        QCoreApplication::instance()->installNativeEventFilter(this);
    else if (!m_portal)
        QCoreApplication::instance()->installEventFilter(this);
    follow(m_key.key());
}

TalkKeyGrab::~TalkKeyGrab()
{
    ungrab();
}

void TalkKeyGrab::follow(const QString &key)
{
    ungrab();
    m_down = false;
    m_release.stop();
    const QKeySequence sequence = QKeySequence::fromString(key, QKeySequence::PortableText);
    m_qtKey = sequence.isEmpty() ? 0 : sequence[0].key();
    m_qtModifiers = sequence.isEmpty() ? Qt::NoModifier : sequence[0].keyboardModifiers();
    if (m_x11 && m_qtKey) grab();
}

void TalkKeyGrab::grab()
{
    xcb_connection_t *c = connection();
    const quint32 sym = keysym(m_qtKey);
    const quint8 code = sym ? keycodeOf(c, sym) : 0;
    if (!code) {
        qWarning("The talk key %s has no key on this keyboard", qPrintable(m_key.key()));
        return;
    }
    const quint16 modifiers = xModifiers(m_qtModifiers);
    const xcb_window_t root = rootWindow(c);
    for (const quint16 lock : LockVariants) {
        xcb_generic_error_t *error =
            xcb_request_check(c, xcb_grab_key_checked(c, 1, root, modifiers | lock, code,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        if (error) {
            // Another program holds the key (BadAccess): it works in OVELA's windows only.
            free(error);
            qWarning("The talk key %s is taken by another program", qPrintable(m_key.key()));
        }
    }
    m_keycode = code;
    m_modifiers = modifiers;
}

void TalkKeyGrab::ungrab()
{
    if (!m_keycode) return;
    if (xcb_connection_t *c = connection()) {
        const xcb_window_t root = rootWindow(c);
        for (const quint16 lock : LockVariants)
            xcb_ungrab_key(c, m_keycode, root, m_modifiers | lock);
        xcb_flush(c);
    }
    m_keycode = 0;
}

bool TalkKeyGrab::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (!m_keycode || eventType != "xcb_generic_event_t") return false;
    auto *event = static_cast<xcb_generic_event_t *>(message);
    const quint8 type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
    // Presses and releases share one layout.
    auto *key = reinterpret_cast<xcb_key_press_event_t *>(event);
    if (key->detail != m_keycode) return false;
    if (type == XCB_KEY_PRESS) {
        if ((key->state & ChosenModifiers) != m_modifiers) return false;
        if (m_release.isActive() && key->time == m_releasedAt) {
            m_release.stop(); // auto-repeat: the key is still held
            return true;
        }
        if (!m_down) {
            m_down = true;
            m_key.pressed();
        }
        return true;
    }
    if (!m_down) return false;
    m_releasedAt = key->time;
    m_release.start();
    return true;
}

bool TalkKeyGrab::eventFilter(QObject *watched, QEvent *event)
{
    if (m_qtKey && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
        auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers chosen =
            Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
        if (key->key() == m_qtKey && (key->isAutoRepeat() || event->type() == QEvent::KeyRelease ||
                                      (key->modifiers() & chosen) == m_qtModifiers)) {
            if (!key->isAutoRepeat()) {
                if (event->type() == QEvent::KeyPress)
                    m_key.pressed();
                else
                    m_key.released();
            }
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
