// The push-to-talk key.
#include "talkkey.h"

#include "shell/mainwindowmodel.h"
#include "userdata/desktopoptions.h"

TalkKey::TalkKey(MainWindowModel &main, DesktopOptions &options, QObject *parent)
    : QObject(parent), m_main(main), m_options(options)
{
    connect(&m_main, &MainWindowModel::talkingChanged, this,
            [this](bool on, bool latched) { m_latched = on && latched; });
}

QString TalkKey::key() const
{
    return m_options.talkKey;
}

QString TalkKey::choose(const QString &key)
{
    if (key == m_options.talkKey) return {};
    if (m_down) released();
    m_options.talkKey = key;
    emit keyChanged(key);
    return m_options.save();
}

void TalkKey::setGlobal(bool global)
{
    m_global = global;
}

QString TalkKey::reachNote() const
{
    if (m_global) return {};
    return QStringLiteral("This desktop does not offer global shortcuts: the talk key works only "
                          "while an OVELA window has the focus.");
}

void TalkKey::pressed()
{
    if (m_down) return;
    m_down = true;
    // Latched: the press turns talking off. Held with the mouse: the button has it.
    if (m_main.talking()) {
        if (m_latched) m_main.talkLatch();
        m_ignoreRelease = true;
        return;
    }
    m_held.start();
    m_main.talkHeld(true);
}

void TalkKey::released()
{
    if (!m_down) return;
    m_down = false;
    if (m_ignoreRelease) {
        m_ignoreRelease = false;
        return;
    }
    // A tap leaves talking on, latched; the next press ends it.
    if (m_held.elapsed() < TapMs)
        m_latched = true;
    else
        m_main.talkHeld(false);
}
