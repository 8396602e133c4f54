// What start-up and shutdown need from the windows, so the order of both lives in one logic
// class and the windows stay thin.
#pragma once

// Which of the windows that start-up may show again are open.
struct OpenWindows {
    bool selfView = false, chat = false, dataRates = false;
};

class ProgramView
{
public:
    virtual ~ProgramView() = default;
    // Sizes and places the main window (and applies the large zoom).
    virtual void sizeMainWindow() = 0;
    virtual void showSplash() = 0;
    virtual void closeSplash() = 0;
    virtual void moveMainWindow(int leftTwips, int topTwips) = 0;
    virtual void mainWindowPosition(int *leftTwips, int *topTwips) const = 0;
    // Creates the self view, chat, directory, data rates and log windows and the busy notice,
    // without showing them.
    virtual void loadWindows() = 0;
    virtual void showStartupWindows(bool selfView, bool chat, bool dataRates) = 0;
    virtual void showMainWindow() = 0;
    virtual void showOptions() = 0;
    // Which windows are open, for the settings written at shutdown.
    virtual OpenWindows openWindows() const = 0;
    // Unloads every window but the main one, in the order shutdown gives.
    virtual void unloadWindows() = 0;
};
