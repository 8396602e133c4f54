// The main window: menus, the flat toolbar, the incoming video display, the indicator strip with
// the call clock, and the activity animation. It shows the program's state and forwards the
// user's commands; the call logic lives in Program.
#pragma once

#include <QMainWindow>

class Program;
class QAction;
class QFrame;
class QLabel;
class ToolbarButton;
class UserMessages;
class VideoSurface;

class FrmMain : public QMainWindow
{
    Q_OBJECT
public:
    FrmMain(Program &program, UserMessages &messages, QWidget *parent = nullptr);

    // Size of the incoming picture shown.
    QSize displaySize() const { return m_display; }
    void setDisplaySize(int width, int height);

    // Keep the View menu and the toolbar in step with the windows.
    void setSelfViewShown(bool shown);
    void setChatShown(bool shown);
    // Without a camera, View > Self is unchecked and disabled.
    void setSelfViewAvailable(bool available);

    bool selfViewChecked() const;
    bool chatChecked() const;

    void setQuickMessagesEnabled(bool on);
    // The indicator lights as the engines' start-up found the devices.
    void showDevices();
    // The incoming video picture, on which the video engine draws.
    VideoSurface *videoSurface() const { return m_video; }
    void ToolbarCommand(int index);
    void hangUp();

signals:
    void directoryRequested();
    void selfViewToggled(bool show);
    void chatToggled(bool show);
    void logRequested();
    void ratesRequested();
    void optionsRequested();
    void aboutRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenus();
    QWidget *buildToolbar();
    QWidget *buildDisplay();
    QWidget *buildReadOut();
    void onCallEntered();
    void onCallEnded();
    void showClock();
    void showDoNotDisturb(bool on);
    void ToolbarHover(int index);
    void onTalk(int index, Qt::MouseButton button, bool down);
    void showMicrophone(bool on);
    void showSpeaker(bool on);
    void showCamera(bool on);

    Program &m_program;
    UserMessages &m_messages;
    QSize m_display{320, 240};
    QList<ToolbarButton *> m_tools;
    QAction *m_call = nullptr, *m_hangup = nullptr, *m_dnd = nullptr;
    QAction *m_viewSelf = nullptr, *m_viewChat = nullptr;
    QLabel *m_activity = nullptr;
    QFrame *m_videoPanel = nullptr;
    VideoSurface *m_video = nullptr;
    QLabel *m_logo = nullptr;
    QLabel *m_msgIn = nullptr, *m_dndImage = nullptr;
    QLabel *m_mic = nullptr, *m_cam = nullptr, *m_speaker = nullptr;
    QLabel *m_digits[4] = {};
    QLabel *m_colon = nullptr;
    QLabel *m_conLed = nullptr;
};
