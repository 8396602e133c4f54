// The push-to-talk key that works from any window: the key the user chose (kept in the desktop
// options) and what pressing it does. Holding it talks exactly as long as it is held, as holding
// the toolbar's Talk button does; a short tap latches talking on, as the button's right click
// does, and the next press turns it off. The key's presses reach it from the desktop (an X server
// grab, or the program's own windows where the desktop offers no global shortcuts).
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class DesktopOptions;
class MainWindowModel;

class TalkKey : public QObject
{
    Q_OBJECT
public:
    // A press shorter than this is a tap, which latches.
    static constexpr int TapMs = 300;

    TalkKey(MainWindowModel &main, DesktopOptions &options, QObject *parent = nullptr);

    // The chosen key, as Qt writes a key sequence; empty for none.
    QString key() const;
    // A new choice, saved at once; an empty text when saved, else why not.
    QString choose(const QString &key);
    // The desktop options were read: the key they keep is taken up.
    void optionsLoaded() { emit keyChanged(key()); }

    // Whether the key works while another program's window has the focus; when it does not,
    // the options say so in one line.
    void setGlobal(bool global);
    QString reachNote() const;

    // The key went down or up (repeats already left out).
    void pressed();
    void released();

signals:
    void keyChanged(const QString &key);

private:
    MainWindowModel &m_main;
    DesktopOptions &m_options;
    bool m_global = false;
    bool m_down = false;
    bool m_latched = false;
    bool m_ignoreRelease = false;
    QElapsedTimer m_held;
};
