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
#include <memory>

class FrmAbout;
class FrmBusyNotify;
class FrmCallIn;
class FrmConStatus;
class FrmDirectory;
class FrmLog;
class FrmMain;
class FrmMessage;
class FrmNewChat;
class FrmOptions;
class FrmRates;
class FrmSelf;
class FrmSplash;
class HelpViewer;
class QWidget;

class ProgramWindows : public QObject, public ProgramView, public UserMessages
{
    Q_OBJECT
public:
    ProgramWindows();
    ~ProgramWindows() override;

    // Creates the main window with the program's models; call before the program starts up.
    void attach(const WindowModels &models);
    FrmMain *mainWindow() const { return m_main.get(); }
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
    void showMessage(QPointer<FrmMessage> &window, int kind, const QString &text,
                     std::function<void()> onOk = {});

    std::unique_ptr<WindowModels> m_models;
    bool m_terminating = false; // a termination signal is being handled
    std::unique_ptr<FrmMain> m_main;
    std::unique_ptr<FrmSplash> m_splash;
    std::unique_ptr<FrmSelf> m_self;
    std::unique_ptr<FrmNewChat> m_chat;
    std::unique_ptr<FrmDirectory> m_directory;
    std::unique_ptr<FrmRates> m_rates;
    std::unique_ptr<FrmLog> m_log;
    std::unique_ptr<FrmCallIn> m_callIn;
    std::unique_ptr<FrmBusyNotify> m_busy;
    std::unique_ptr<FrmConStatus> m_progress;
    QPointer<FrmMessage> m_info, m_error;
    QPointer<FrmOptions> m_options;
    QPointer<FrmAbout> m_about;
    QPointer<HelpViewer> m_help;
    static constexpr int FramedAfterMs = 300;
    QPoint m_dockedAt;
    QPoint m_selfPlacedAt, m_chatPlacedAt;
    bool m_directoryPlaced = false;
};
