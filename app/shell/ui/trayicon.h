// The icon in the desktop's tray: the user's presence and waiting quick messages in its picture
// and tooltip, a left click to show or hide the main window, and a menu with Call, Directory,
// Do Not Disturb and Quit.
#pragma once

#include <QObject>

class MainWindowModel;
class QAction;
class QMenu;
class QSystemTrayIcon;
class TrayStatus;

class TrayIcon : public QObject
{
    Q_OBJECT
public:
    TrayIcon(TrayStatus &status, MainWindowModel &main, QObject *parent = nullptr);
    ~TrayIcon() override;

    bool visible() const;
    QMenu *menu() const { return m_menu; }
    QSystemTrayIcon *icon() const { return m_icon; }

signals:
    void showHideRequested();
    void quitRequested();

private:
    void refresh();

    TrayStatus &m_status;
    MainWindowModel &m_main;
    QMenu *m_menu = nullptr;
    QAction *m_call = nullptr, *m_dnd = nullptr;
    QSystemTrayIcon *m_icon = nullptr;
};
