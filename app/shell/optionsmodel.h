// The options dialog without its window: the values it shows, the check and the storing that its
// Close button runs (with what storing changed, such as logging in to the directory again), the
// guard on the real-time chat option, and the refuse list it edits. The Video and Audio tabs'
// settings, which act at once, are its media() part.
#pragma once

#include "shell/mediaoptions.h"

#include <QObject>
#include <QString>
#include <QStringList>

class ChatLink;
class CallSecurity;
class DesktopOptions;
class DirectoryClient;
class MediaSession;
class PortMapping;
class SoundDevices;
class TalkKey;
class UserMessages;
struct RefuseList;
struct Settings;

struct OptionValues {
    // Personal
    QString name, email, location, comment;
    QString directory; // "host:port"
    bool showOnList = true;
    // General
    bool autoAccept = false, sendWelcome = true, realTimeChat = true;
    QString welcome;
    bool saveWindowPosition = false, moveAllWindows = true, rememberWindows = true;
    // Video: the caption written into the outgoing picture
    bool sendImageMessage = false;
    QString imageMessage;
    // Messaging
    bool messagesDisabled = false;
    // Router: ask it to forward the listening ports (kept in a file of its own)
    bool mapPorts = true;
    // The desktop (kept in a file of their own)
    bool keepRunningInTray = true, palOnlineNotices = false;
    QString talkKey; // the push-to-talk key for any window ("F9"); empty for none
    // Calls' encryption (kept in a file of their own)
    bool encryptCalls = true, refusePlainCalls = false;
};

class OptionsModel : public QObject
{
    Q_OBJECT
public:
    static constexpr int MinimumName = 3;
    static constexpr int MinimumEmail = 8;
    static constexpr int WelcomeLength = 99;

    struct Deps {
        Settings &settings;
        RefuseList &refuseList;
        ChatLink &chatLink;
        DirectoryClient &directory;
        MediaSession &media;
        SoundDevices &sound;
        UserMessages &messages;
        PortMapping &router;
        DesktopOptions &desktop;
        TalkKey &talkKey;
        CallSecurity &security;
    };
    explicit OptionsModel(const Deps &deps, QObject *parent = nullptr);

    OptionValues load() const;
    // The directory servers offered for choice.
    QStringList directoryChoices() const;

    // What Close changed.
    struct Effects {
        bool stored = false;           // false: a check failed and the user was told why
        bool directoryChanged = false; // the directory connection was closed, to log in again
        bool detailsChanged = false;   // the directory was given the new details (or will be)
        bool indicatorsChanged = false;
    };
    // Close: checks the values, stores them in the settings and acts on what changed: new
    // personal details or a new directory log in to the directory again (or connect to it), and
    // the audio test ends.
    Effects apply(const OptionValues &values);
    // The dialog goes, by Close or by its close box (which stores nothing).
    void unloaded();
    // The message that keeps the values from being stored; empty when they may be.
    static QString check(const OptionValues &values);

    // Whether the real-time chat option may be set to `on` now: not during a call (the user is
    // told so).
    bool realTimeChatChangeAllowed(bool on);

    // The refuse list: "name" and "e-mail" of each entry, and removing entry `index` (1-based),
    // which is saved at once.
    QList<QStringList> refused() const;
    void removeRefused(int index);

    MediaOptions &media() { return m_media; }
    // One line under the talk key when it works only in OVELA's windows; empty otherwise.
    QString talkKeyNote() const;

    // What the router did with the listening ports, in a line.
    QString routerStatus() const;

signals:
    void routerStatusChanged();
    void applied(const OptionsModel::Effects &effects);
    void refusedChanged();

private:
    Deps m_deps;
    MediaOptions m_media;
};
