// The program without its windows: owns the settings, the lists, the log, the endpoints and the
// call logic, and runs start-up, the close check and shutdown in their fixed order.
#pragma once

#include "calls/callsession.h"
#include "calls/callsignalling.h"
#include "calls/endpoints.h"
#include "calls/incomingcall.h"
#include "calls/mediasession.h"
#include "calls/outgoingcall.h"
#include "directory/activitylog.h"
#include "directory/lists.h"
#include "messaging/chatlink.h"
#include "shell/settings.h"

#include <QObject>
#include <QTimer>

class ShellView;
class SoundPlayer;
class UserMessages;

class Program : public QObject
{
    Q_OBJECT
public:
    static constexpr int StartupTickMs = 1000;
    static constexpr int StartupTicks = 5;

    Program(UserMessages &messages, SoundPlayer &sounds, QObject *parent = nullptr);
    ~Program() override;

    Settings settings;
    CallSession session;
    Endpoints endpoints;
    PalList pals;
    RefuseList refuseList;
    ActivityLog log;
    ChatLink chat;
    IncomingCall incoming;
    CallSignalling signalling;
    MediaSession media;
    OutgoingCall outgoing;

    QString settingsPath;

    // Start-up, with the command line's address (empty for none).
    void startUp(ShellView &view, const QString &commandLine);
    // The close check: false (and a message) while a connection is being established.
    bool queryUnload();
    // Shutdown; runs once.
    void shutDown();
    bool shutDownDone() const { return m_shutDown; }

    void StartListeners();
    void AddLogEntry(const QString &text) { log.AddLogEntry(text); }
    // Saves a list, showing the failure message when the file cannot be written.
    void savePals();
    void saveRefuseList();

signals:
    // The first tick of the start-up timer: the pal presence check may begin.
    void palCheckDue();

private:
    void startupTick();
    void reportListener(const QString &text, const EndpointError &error);

    UserMessages &m_messages;
    SoundPlayer &m_sounds;
    ShellView *m_view = nullptr;
    QTimer m_startupTimer;
    int m_startupTicks = 0;
    bool m_shutDown = false;
    bool m_filesLoaded = false; // lists and log read: shutdown may write them
};
