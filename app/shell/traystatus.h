// What the tray icon shows: the user's presence (available, in a call, Do Not Disturb) and how
// many quick messages wait to be opened, as a state for the icon and a text for its tooltip.
#pragma once

#include <QObject>
#include <QString>

class MainWindowModel;
class QuickMessageReceiver;

class TrayStatus : public QObject
{
    Q_OBJECT
public:
    enum class Presence { Available, InCall, DoNotDisturb };

    TrayStatus(MainWindowModel &main, QuickMessageReceiver &received, QObject *parent = nullptr);

    Presence presence() const;
    int unreadMessages() const;
    QString toolTip() const;

signals:
    void changed();

private:
    MainWindowModel &m_main;
    QuickMessageReceiver &m_received;
};
