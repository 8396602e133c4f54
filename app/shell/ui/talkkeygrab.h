// Where the talk key's presses come from. On X11 the key is grabbed from the X server on the root
// window, so it reaches OVELA whichever window has the focus (with the usual Caps Lock and Num
// Lock variants, X's auto-repeat left out). Elsewhere (Wayland) the desktop portal's global
// shortcuts bind it where the desktop offers them; where it does not, the key works in OVELA's
// own windows only (the options say so).
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QTimer>

class TalkKey;
class TalkKeyPortal;

class TalkKeyGrab : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    // `platform`: the Qt platform plug-in's name ("xcb" is X11).
    TalkKeyGrab(TalkKey &key, const QString &platform, QObject *parent = nullptr);
    ~TalkKeyGrab() override;

    // Whether the chosen key is grabbed from the X server now.
    bool grabbed() const { return m_keycode != 0; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void follow(const QString &key);
    void grab();
    void ungrab();

    TalkKey &m_key;
    bool m_x11;
    TalkKeyPortal *m_portal = nullptr;
    int m_qtKey = 0; // the chosen key and modifiers as Qt has them
    Qt::KeyboardModifiers m_qtModifiers;
    quint8 m_keycode = 0; // grabbed (X11)
    quint16 m_modifiers = 0;
    bool m_down = false;
    quint32 m_releasedAt = 0;
    // X's auto-repeat is a release and a press at the same moment: a release counts only when no
    // press follows at once.
    QTimer m_release;
};
