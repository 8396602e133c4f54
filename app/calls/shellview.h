// What start-up and shutdown need from the windows, so the order of both lives in one logic
// class and the windows stay thin.
#pragma once

struct Settings;

class ShellView
{
public:
    virtual ~ShellView() = default;
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
    // Puts what the windows hold into the settings before they are written: which windows are
    // open, the directory window's size.
    virtual void collectWindowSettings(Settings &settings) const = 0;
    // Unloads every window but the main one, in the order shutdown gives.
    virtual void unloadWindows() = 0;
};
