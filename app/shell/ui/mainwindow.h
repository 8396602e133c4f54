// The main window: menus, the flat toolbar, the incoming video display, the indicator strip with
// the call clock, and the activity animation. It shows what its model holds and forwards the
// user's commands to it.
#pragma once

#include <QMainWindow>

#include <functional>

class MainWindowModel;
class QAction;
class QFrame;
class QLabel;
class QMenu;
class ToolbarButton;
class VideoSurface;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(MainWindowModel &model, QWidget *parent = nullptr);

    bool selfViewChecked() const;
    bool chatChecked() const;

    // The indicators as start-up found the devices and the settings.
    void showIndicators();
    // The incoming video picture, on which the video engine draws.
    VideoSurface *videoSurface() const { return m_video; }
    // While `hides` says so, the window's close box only hides the window (the tray keeps the
    // program); Quit always quits.
    void setCloseHides(std::function<bool()> hides) { m_closeHides = std::move(hides); }
    // File > Quit.
    void quit();

signals:
    void logRequested();
    void ratesRequested();
    void optionsRequested();
    void aboutRequested();
    void doctorRequested();
    // Help > Contents (false) or Help > Help Topics (true).
    void helpRequested(bool topics);
    // The window was minimised, or came back from being minimised.
    void minimised();
    void restored();
    // The close box hid the window instead of closing it.
    void hiddenOnClose();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenus();
    QMenu *buildZoomMenu();
    void zoom(int which);
    // The smallest size the window takes: the rule's, or what its contents need when more.
    void applyMinimumSize();
    QWidget *buildToolbar();
    QWidget *buildDisplay();
    QWidget *buildReadOut();
    void onCallEntered();
    void onCallEnded();
    void showClock();
    void showDoNotDisturb(bool on);
    void showDisplaySize(QSize size);
    void showSelfViewShown(bool shown);
    void showChatShown(bool shown);
    void showSelfViewAvailable(bool available);
    void showTalking(bool on, bool latched);
    void showLights();
    void showLock();
    void showMessageWaiting(bool waiting);
    void toolbarHover(int index);
    void onTalk(int index, Qt::MouseButton button, bool down);

    MainWindowModel &m_model;
    QList<ToolbarButton *> m_tools;
    QAction *m_call = nullptr, *m_hangup = nullptr, *m_dnd = nullptr;
    QAction *m_viewSelf = nullptr, *m_viewChat = nullptr;
    QMenu *m_zoom = nullptr;
    QLabel *m_activity = nullptr;
    QFrame *m_videoPanel = nullptr;
    VideoSurface *m_video = nullptr;
    QLabel *m_logo = nullptr;
    QLabel *m_msgIn = nullptr, *m_dndImage = nullptr;
    QLabel *m_mic = nullptr, *m_cam = nullptr, *m_speaker = nullptr;
    QLabel *m_digits[4] = {};
    QLabel *m_colon = nullptr;
    QLabel *m_conLed = nullptr;
    QLabel *m_lock = nullptr, *m_code = nullptr;
    bool m_wasMinimised = false;
    bool m_quitting = false;
    std::function<bool()> m_closeHides;
};
