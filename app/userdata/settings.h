// The user's preferences, read from ovela.ini once at start-up. The program changes only this
// struct; SettingsKeeper writes it back as it changes, and shutdown once more.
#pragma once

#include <QString>

struct Settings {
    // Personal
    QString Name;
    QString EMail;
    QString Location;
    QString Comment;
    bool ShowOnList = true;
    QString DirAddress;
    qint16 DirPort = 2010;
    // Messaging
    bool MessagingDisable = false;
    // VideoCapture
    qint16 DriverNum = 0;
    bool SendImageMsg = false;
    QString ImageMsg = QStringLiteral("I like OVELA");
    // Calling
    bool AutoAccept = false;
    bool EnableRTC = true;
    bool SendWelcome = true;
    QString WelcomeMsg = QStringLiteral("I can SEE you Too!");
    qint16 AutoDecTime = 20;
    // Windows
    bool SaveWinPos = false;
    qint32 DirWidth = 8400;  // twips; belongs to the directory window
    qint32 DirHeight = 6000; // twips
    qint16 WinPosLeft = 0;
    qint16 WinPosTop = 0;
    bool MoveAllWin = true;
    bool RememberWin = true;
    bool SelfViewOn = true;
    bool ChatToolOn = false;
    bool DataRatesOn = false;
    bool VQualityLow = true;
    bool VSpeedLow = true; // written, never read
    qint16 ChatFontSize = 9;

    Settings();
    bool operator==(const Settings &) const = default;
};

// The default directory server host of this build.
QString defaultDirectoryHost();

// Where ovela.ini lives: $XDG_CONFIG_HOME/ovela/ovela.ini (~/.config/ovela/ovela.ini).
QString settingsFilePath();

// Reads every key from the file; missing keys and a missing file give the defaults.
void loadSettings(const QString &file, Settings &settings);
// Writes every key to the file, keeping whatever else it holds. False (with a reason) when the
// file could not be written; the old file is then left as it was.
bool saveSettings(const QString &file, const Settings &settings, QString *error = nullptr);
