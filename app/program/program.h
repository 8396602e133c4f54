// The program without its windows: the composition root. It owns the settings, the lists, the
// log, the engines and every conversation (each with its own connections), hands the windows
// their models, and runs start-up, the close check and shutdown in their fixed order.
#pragma once

#include "calls/answeringpolicy.h"
#include "calls/callsecurity.h"
#include "calls/callsession.h"
#include "calls/callsignalling.h"
#include "calls/chatconversation.h"
#include "calls/chatlink.h"
#include "calls/incomingcall.h"
#include "calls/mediasession.h"
#include "calls/outgoingcall.h"
#include "directory/directoryclient.h"
#include "directory/directorymodel.h"
#include "directory/palpresence.h"
#include "doctor/connectiondoctor.h"
#include "media/audioengine.h"
#include "media/cameramodel.h"
#include "media/videoengine.h"
#include "messaging/messaging.h"
#include "messaging/quickmessagereceiver.h"
#include "platform/netaddress.h"
#include "router/portmapping.h"
#include "shell/desktopnotices.h"
#include "shell/mainwindowmodel.h"
#include "shell/optionsmodel.h"
#include "shell/sounddevices.h"
#include "shell/talkkey.h"
#include "shell/traystatus.h"
#include "shell/windowmodels.h"
#include "userdata/activitylog.h"
#include "userdata/desktopoptions.h"
#include "userdata/lists.h"
#include "userdata/settings.h"
#include "userdata/settingskeeper.h"
#include "userdata/useridentity.h"

#include <QObject>
#include <QTimer>

#include <memory>

class ProgramView;
class UnattendedAnswering;
class SoundPlayer;
class Transports;
class UserMessages;

// The directory client as an outgoing call sees it.
class DirectoryForCalls : public CallDirectory
{
public:
    explicit DirectoryForCalls(DirectoryClient &client) : m_client(client) {}
    bool connected() const override;
    void lookUpEmail(const QString &address) override;
    bool entry(int entry, QString *name, QString *location) const override;

private:
    DirectoryClient &m_client;
};

// Where a program keeps its settings and which base port it starts from.
struct ProgramConfig {
    QString settingsPath = settingsFilePath();
    quint16 basePort = DefaultBasePort;
    // The pal server (OVELA_PAL_HOST, else the build's default, on port 2015).
    QString palHost;
    quint16 palPort = 0;
};

class Program : public QObject, public ProgramLifecycle
{
    Q_OBJECT
public:
    static constexpr int StartupTickMs = 1000;
    static constexpr int StartupTicks = 5;

    Program(UserMessages &messages, SoundPlayer &sounds, Transports &transports,
            const ProgramConfig &config = {}, QObject *parent = nullptr);
    ~Program() override;

    // What the windows are given.
    WindowModels windowModels();
    // The media session, for observers of its calls (the call report).
    const MediaSession &mediaSession() const { return m_media; }
    // The base port the listeners ended up on.
    quint16 basePort() const { return m_basePort; }
    // The router's forwarding of the listening ports.
    PortMapping &portMapping() { return m_portMapping; }
    // The desktop around the program: the tray icon's state, the desktop options, and the
    // notifications, once the desktop's notification service is attached (before start-up).
    TrayStatus &trayStatus() { return m_tray; }
    DesktopOptions &desktopOptions() { return m_desktopOptions; }
    // The push-to-talk key that works from any window.
    TalkKey &talkKey() { return m_talkKey; }
    void attachNotifications(DesktopNotifications &notifications);
    // The main window went into the tray (said once through a notification).
    void keptRunningInTray();

    // Before start-up: calls are answered or declined by themselves from start-up on.
    void answerUnattended(AnsweringPolicy::Mode mode);

    // Start-up, with the command line's address (empty for none).
    void startUp(ProgramView &view, const QString &commandLine);
    bool queryUnload() override;
    // Shutdown; runs once.
    void shutDown() override;
    bool shutDownDone() const override { return m_shutDown; }

signals:
    // The first tick of the start-up timer: the pal presence check may begin.
    void palCheckDue();

private:
    friend class ProgramInternals; // the tests' view of the parts
    void startListeners();
    void connectDirectory();
    void startupTick();
    void windowStateIntoSettings();
    void reportListener(const QString &text, const EndpointError &error);
    DoctorSetup doctorSetup();

    ProgramConfig m_config;
    UserMessages &m_messages;
    SoundPlayer &m_sounds;
    Settings m_settings;
    SettingsKeeper m_keeper{m_settings, m_messages};
    CallSession m_session;
    PalList m_pals;
    RefuseList m_refuseList;
    ActivityLog m_log;
    CallSecurity m_security;
    PortMapping m_portMapping;
    UserIdentity m_identity;
    VideoEngine m_videoEngine;
    AudioEngine m_audioEngine;
    SoundDevices m_soundDevices;
    AudioPath m_audio;
    VideoPath m_video;
    CameraModel m_camera{m_video};
    ChatConversation m_chat;
    ChatLink m_chatLink;
    DirectoryClient m_directory;
    DirectoryForCalls m_callDirectory{m_directory};
    PalPresence m_presence;
    QuickMessageReceiver m_quickMessages;
    IncomingCall m_incoming;
    MediaSession m_media;
    CallSignalling m_signalling;
    OutgoingCall m_outgoing;
    DirectoryModel m_directoryModel;
    Messaging m_messaging;
    MainWindowModel m_mainWindow;
    DesktopOptions m_desktopOptions;
    TalkKey m_talkKey{m_mainWindow, m_desktopOptions};
    OptionsModel m_options;
    ConnectionDoctor m_doctor;
    TrayStatus m_tray{m_mainWindow, m_quickMessages};
    std::unique_ptr<DesktopNotices> m_notices;
    std::unique_ptr<UnattendedAnswering> m_unattended;

    quint16 m_basePort;
    ProgramView *m_view = nullptr;
    QTimer m_startupTimer;
    int m_startupTicks = 0;
    bool m_shutDown = false;
    bool m_filesLoaded = false; // lists and log read: shutdown may write them
};
