// The windows of the program, put together: creates each with its model, keeps the main window's
// menus and toolbar in step with them, shows messages, and plays the windows' part of start-up
// and shutdown for the program.
#pragma once

#include "platform/usermessages.h"
#include "program/programview.h"
#include "shell/windowmodels.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <functional>
#include <memory>

class AboutWindow;
class DoctorWindow;
class BusyNotice;
class IncomingCallWindow;
class CallProgressWindow;
class DirectoryWindow;
class LogWindow;
class MainWindow;
class NoticeWindow;
class ChatWindow;
class OptionsDialog;
class DataRatesWindow;
class SelfViewWindow;
class SplashWindow;
class HelpViewer;
class QWidget;
class DesktopOptions;
class TrayIcon;
class TrayStatus;

class ProgramWindows : public QObject, public ProgramView, public UserMessages
{
    Q_OBJECT
public:
    ProgramWindows();
    ~ProgramWindows() override;

    // Creates the main window with the program's models; call before the program starts up.
    void attach(const WindowModels &models);
    MainWindow *mainWindow() const { return m_main.get(); }
    // The tray icon, when the desktop has a tray: it shows the status, and while it is there
    // (and the options say so) closing the main window hides it and calls `keptRunning`.
    void attachTray(TrayStatus &status, const DesktopOptions &options,
                    std::function<void()> keptRunning);
    TrayIcon *trayIcon() const { return m_tray.get(); }
    // Orderly shutdown from outside the windows (SIGTERM, SIGINT): the same as Quit, without the
    // close check, since the system asked the program to end.
    void terminate();
    // Deletes every window; the program object may then go.
    void releaseWindows();

    // UserMessages
    void showInfoMessage(const QString &text, std::function<void()> onOk = {}) override;
    void showErrorMessage(const QString &text) override;
    void messageBox(const QString &text, const QString &title = {}) override;
    bool askYesNo(const QString &text) override;
    void ask(const QString &text, std::function<void(bool)> answer) override;
    void withdrawQuestion() override;

    // ProgramView
    void sizeMainWindow() override;
    void showSplash() override;
    void closeSplash() override;
    void moveMainWindow(int leftTwips, int topTwips) override;
    void mainWindowPosition(int *leftTwips, int *topTwips) const override;
    void loadWindows() override;
    void showStartupWindows(bool selfView, bool chat, bool dataRates) override;
    void showMainWindow() override;
    void showOptions() override;
    OpenWindows openWindows() const override;
    void unloadWindows() override;

    void showSelfView(bool show);
    void showChat(bool show);
    void showDirectory();
    void showRates();
    void showLog();
    void showAbout();
    // Help > Connection Doctor: its window, running the checks afresh.
    void showDoctor();
    // Help > Contents (false) or Help > Help Topics (true).
    void showHelp(bool topics);
    void dockSelfView();

private:
    void placeBesideMain(QWidget *window);
    void placeHelpers();
    // The options dialog, on one of its tabs (-1: as it is).
    void openOptions(int tab);
    void onMinimised();
    void onRestored();
    // The tray's click: the main window (and its helpers) shown or hidden.
    void toggleMainWindow();
    void showMessage(QPointer<NoticeWindow> &window, int kind, const QString &text,
                     std::function<void()> onOk = {});

    std::unique_ptr<WindowModels> m_models;
    bool m_terminating = false;             // a termination signal is being handled
    QPointer<class QMessageBox> m_question; // the open question of ask(), if any
    std::unique_ptr<MainWindow> m_main;
    std::unique_ptr<TrayIcon> m_tray;
    std::unique_ptr<SplashWindow> m_splash;
    std::unique_ptr<SelfViewWindow> m_self;
    std::unique_ptr<ChatWindow> m_chat;
    std::unique_ptr<DirectoryWindow> m_directory;
    std::unique_ptr<DataRatesWindow> m_rates;
    std::unique_ptr<LogWindow> m_log;
    std::unique_ptr<IncomingCallWindow> m_callIn;
    std::unique_ptr<BusyNotice> m_busy;
    std::unique_ptr<CallProgressWindow> m_progress;
    QPointer<NoticeWindow> m_info, m_error;
    QPointer<OptionsDialog> m_options;
    QPointer<AboutWindow> m_about;
    QPointer<DoctorWindow> m_doctor;
    QPointer<HelpViewer> m_help;
    static constexpr int FramedAfterMs = 300;
    QPoint m_dockedAt;
    QPoint m_selfPlacedAt, m_chatPlacedAt;
    bool m_directoryPlaced = false;
};
