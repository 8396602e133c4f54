// Start-up, listeners and shutdown.
#include "program.h"

#include "messaging/messagestore.h"
#include "platform/linetransport.h"
#include "platform/soundplayer.h"
#include "platform/usermessages.h"
#include "programview.h"
#include "router/portmapplan.h"
#include "unattended.h"

#include <QFileInfo>

Program::Program(UserMessages &messages, SoundPlayer &sounds, Transports &transports,
                 const ProgramConfig &config, QObject *parent)
    : QObject(parent), m_config(config), m_messages(messages), m_sounds(sounds),
      m_security(m_log, messages, QFileInfo(config.settingsPath).absolutePath(),
                 transports.canEncrypt()),
      m_portMapping(QFileInfo(config.settingsPath).absolutePath()),
      m_identity(m_settings, messages, QFileInfo(config.settingsPath).absolutePath()),
      m_videoEngine(messages), m_audioEngine(messages),
      m_soundDevices(m_audioEngine, sounds, messages,
                     QFileInfo(config.settingsPath).absolutePath()),
      m_audio(m_audioEngine), m_video(m_videoEngine, m_settings, messages),
      m_chat(m_session, m_settings), m_chatLink(m_session, m_chat, transports),
      m_directory({m_settings, m_identity, messages, transports}),
      m_presence({m_pals, m_identity, messages, transports}),
      m_quickMessages({m_settings, m_refuseList, sounds, messages, transports}),
      m_incoming(m_settings, m_log),
      m_media({m_settings, m_session, m_chat, m_chatLink, m_log, sounds, messages, transports,
               m_videoEngine, m_audioEngine, m_audio, m_video}),
      m_signalling({m_settings, m_session, m_incoming, m_media, m_chat, m_chatLink, m_log, sounds,
                    messages, transports, m_security}),
      m_outgoing(m_session, m_signalling, m_media, m_callDirectory, messages),
      m_directoryModel({m_settings, m_directory, m_presence, m_pals, messages}),
      m_messaging({m_settings, m_identity, m_audio, m_video, m_media.mainTimer(), messages},
                  {m_video, m_audio, m_refuseList, messages,
                   [this](const QString &email) { return m_presence.addPal(email, email); }},
                  transports, m_quickMessages),
      m_mainWindow({m_settings, m_session, m_signalling, m_media, m_quickMessages, *this, messages,
                    m_security}),
      m_desktopOptions(QFileInfo(config.settingsPath).absolutePath()),
      m_options({m_settings, m_refuseList, m_chatLink, m_directory, m_media, m_soundDevices,
                 messages, m_portMapping, m_desktopOptions, m_talkKey, m_security}),
      m_basePort(config.basePort)
{
    m_startupTimer.setInterval(StartupTickMs);
    connect(&m_startupTimer, &QTimer::timeout, this, &Program::startupTick);
    connect(&m_media, &MediaSession::startupCallDue, &m_outgoing, &OutgoingCall::callTyped);
    // A call starts only once its peer's key is checked (an encrypted call) or its connections
    // are known to be plain where plain is allowed; the text connection shows the same key.
    m_media.setAdmission([this](const QSslCertificate &peer, std::function<void(bool)> answer) {
        m_security.admit(m_session.remoteUserName(), peer, std::move(answer));
    });
    m_chatLink.setPeerCheck(
        [this](const QSslCertificate &peer) { return m_security.textMatches(peer); });
    connect(&m_media, &MediaSession::admissionRefused, &m_signalling, &CallSignalling::hangUp);
    connect(&m_media, &MediaSession::callEnded, &m_security, &CallSecurity::endCall);
    connect(&m_media, &MediaSession::connectFailed, this, [this] {
        m_signalling.closeControl();
        m_chatLink.closeClient();
    });
    connect(&m_chat, &ChatConversation::lineTyped, this,
            [this](const QString &line) { m_media.textQueue().add(line); });
    connect(&m_chat, &ChatConversation::bell, this, [this] {
        if (m_audio.idle()) m_sounds.play(QStringLiteral("chatbell.wav"));
    });
    connect(&m_options, &OptionsModel::applied, &m_mainWindow, &MainWindowModel::settingsChanged);

    // The directory: every attempt opens the pal connection too; a listed user called by entry
    // shows its name and place; the e-mail lookup's answer places the call.
    connect(&m_directory, &DirectoryClient::palConnectionWanted, &m_presence,
            &PalPresence::connectPalServer);
    // An answer that nobody waits for (the window was closed, or a call began) is not used.
    const auto ignored = [this](const QString &email) {
        m_log.addLogEntry(QStringLiteral("Ignored a directory answer nobody asked for: ") + email);
    };
    connect(&m_directory, &DirectoryClient::unaskedAnswer, this, ignored);
    connect(&m_presence, &PalPresence::unaskedAnswer, this, ignored);
    connect(&m_directory, &DirectoryClient::emailFound, this,
            [this, ignored](const QString &name, const QString &location, const QString &address,
                            qint16 port) {
                if (!m_outgoing.emailFound(name, location, address, port)) ignored(address);
            });
    connect(&m_directory, &DirectoryClient::emailNotFound, this, [this, ignored] {
        if (!m_outgoing.emailNotFound()) ignored(QStringLiteral("(not found)"));
    });
    // Calls placed from the directory window and from a received message.
    connect(&m_directoryModel, &DirectoryModel::callRequested, &m_outgoing,
            &OutgoingCall::placeCall);
    connect(&m_messaging, &Messaging::callRequested, this,
            [this](const QString &address, int port) { m_outgoing.placeCall(address, port, 0); });
    connect(&m_mainWindow, &MainWindowModel::directoryRequested, &m_directoryModel,
            &DirectoryModel::openedByCommand);
    connect(this, &Program::palCheckDue, &m_presence, &PalPresence::connectPalServer);
    connect(&m_directoryModel, &DirectoryModel::composeRequested, &m_messaging,
            [this](const QString &name, const QString &location, const QString &address, int port) {
                emit m_messaging.composeRequested({name, location, address, quint16(port)});
            });
    if (!config.palHost.isEmpty()) m_presence.setServer(config.palHost, config.palPort);

    // The router: what it did goes to the log; the servers learn the base port that callers
    // from outside reach when the router forwards other ports than the program's own.
    connect(&m_portMapping, &PortMapping::logEntry, this,
            [this](const QString &line) { m_log.addLogEntry(line); });
    connect(&m_portMapping, &PortMapping::reachableBasePortChanged, this, [this](quint16 port) {
        m_identity.setBasePort(port);
        if (m_shutDown) return;
        if (m_directory.connected()) m_directory.sendDirectoryLogin();
        m_presence.sendLoginAgain();
    });
    m_doctor.setSetupSource([this] { return doctorSetup(); });
}

Program::~Program() = default;

DoctorSetup Program::doctorSetup()
{
    DoctorSetup setup;
    setup.directoryHost = m_settings.DirAddress;
    setup.directoryPort = quint16(m_settings.DirPort);
    setup.palHost = m_presence.host();
    setup.palPort = m_presence.port();
    setup.basePort = m_basePort;
    setup.cameras = [this] { return m_video.drivers(); };
    setup.router = [this] { return RouterReport::of(m_portMapping); };
    // The sound devices are opened only while no call and no sound uses them.
    if (!m_session.inCall() && m_audio.idle())
        setup.openSound = [this](bool recording) {
            return m_audioEngine.tryDevice(recording) ? QString()
                                                      : m_soundDevices.chosen(recording);
        };
    return setup;
}

bool DirectoryForCalls::connected() const
{
    return m_client.connected();
}

void DirectoryForCalls::lookUpEmail(const QString &address)
{
    m_client.lookUpEmail(address);
}

bool DirectoryForCalls::entry(int entry, QString *name, QString *location) const
{
    const Directory::User *user = m_client.user(entry);
    if (!user) return false;
    *name = user->name;
    *location = user->location;
    return true;
}

void Program::attachNotifications(DesktopNotifications &notifications)
{
    m_notices = std::make_unique<DesktopNotices>(
        DesktopNotices::Deps{m_incoming, m_quickMessages, m_presence, m_pals, m_desktopOptions,
                             notifications, m_messages});
}

void Program::keptRunningInTray()
{
    if (m_notices) m_notices->keptRunningInTray();
}

WindowModels Program::windowModels()
{
    return {m_mainWindow,     m_incoming,  m_outgoing, m_chat,    m_camera,
            m_directoryModel, m_messaging, m_log,      m_options, m_doctor};
}

void Program::answerUnattended(AnsweringPolicy::Mode mode)
{
    m_unattended = std::make_unique<UnattendedAnswering>(
        UnattendedAnswering::Deps{m_signalling, m_session, m_presence, m_pals, m_log, m_video,
                                  m_audio, m_audioEngine},
        mode);
}

void Program::startUp(ProgramView &view, const QString &commandLine)
{
    m_view = &view;
    view.sizeMainWindow();
    if (commandLine.isEmpty()) view.showSplash();
    loadSettings(m_config.settingsPath, m_settings);
    m_desktopOptions.load();
    m_talkKey.optionsLoaded();
    // Once the start-up windows are up, where the windows are and which are open is kept too.
    m_keeper.start(m_config.settingsPath, [this] {
        if (!m_shutDown && !m_startupTimer.isActive()) windowStateIntoSettings();
    });
    if (m_settings.SaveWinPos) view.moveMainWindow(m_settings.WinPosLeft, m_settings.WinPosTop);
    m_soundDevices.load(); // before the engine looks for its devices
    m_media.initMediaEngine();
    m_basePort = m_config.basePort;
    startListeners();
    // A termination signal may arrive while a start-up message waits for its OK.
    if (m_shutDown) return;
    m_identity.setBasePort(m_basePort);
    m_identity.load();
    view.loadWindows();
    m_identity.setDevices(m_video.captureAvailable(), m_audio.available());
    m_presence.start();
    if (const EndpointError e = m_chatLink.start(m_basePort))
        reportListener(QStringLiteral("Failed to start text Listen Daemon 4: "), e);
    if (m_shutDown) return;
    loadRefuseList(m_refuseList);
    loadPalFile(m_pals);
    m_presence.fillPalLists();
    m_quickMessages.loadUnopened(MessageStore::FileName);
    m_log.loadActivityLog();
    m_filesLoaded = true;
    m_security.load(); // the call key is made at first start, which the log tells
    m_log.addLogEntry(QStringLiteral("OVELA Power Up"));
    if (m_unattended) m_unattended->start();
    // In the background: a router that does not answer costs the start nothing.
    m_portMapping.load();
    m_portMapping.start(m_basePort);
    m_media.startTimer();
    m_media.setStartupCall(commandLine);
    if (!commandLine.isEmpty()) {
        m_incoming.AutoAcceptOnce = true;
        view.showMainWindow();
    } else {
        m_incoming.AutoAcceptOnce = false;
        m_startupTicks = 0;
        m_startupTimer.start();
    }
}

void Program::reportListener(const QString &text, const EndpointError &error)
{
    m_messages.messageBox(text + QString::number(error.number) + QLatin1Char(' ') +
                          error.description);
}

void Program::startListeners()
{
    // A termination signal may arrive while a failure message waits for its OK: shutdown has then
    // run, and nothing more may start listening.
    m_directory.start();
    if (EndpointError e = m_signalling.start(&m_basePort))
        reportListener(QStringLiteral("Failed to start Listen Daemon 1: "), e);
    if (m_shutDown) return;
    if (EndpointError e = m_media.start(m_basePort))
        reportListener(QStringLiteral("Failed to start Listen Daemon 2: "), e);
    if (m_shutDown) return;
    if (EndpointError e = m_quickMessages.start(m_basePort))
        reportListener(QStringLiteral("Failed to start Listen Daemon 3: "), e);
    if (m_shutDown) return;

    // The network check: this machine must have an address to be reached at.
    if (!NetAddress::hasNetwork())
        m_messages.messageBox(QStringLiteral(
            "You must connect to the Internet before running OVELA. Please connect to the "
            "Internet and run OVELA again."));
}

void Program::startupTick()
{
    ++m_startupTicks;
    if (m_startupTicks == 1) emit palCheckDue();
    if (m_startupTicks < StartupTicks || !m_view) return;
    m_startupTimer.stop();
    m_view->closeSplash();
    if (m_settings.RememberWin)
        m_view->showStartupWindows(m_settings.SelfViewOn, m_settings.ChatToolOn,
                                   m_settings.DataRatesOn);
    else
        m_view->showStartupWindows(true, false, false);
    m_view->showMainWindow();
    if (m_settings.Name.isEmpty() || m_settings.EMail.isEmpty() || m_settings.Location.isEmpty()) {
        m_view->showOptions();
        m_messages.showInfoMessage(QStringLiteral(
            "Please take a moment to fill in your user information and verify the setup."));
    }
}

void Program::windowStateIntoSettings()
{
    if (!m_view) return;
    if (m_settings.SaveWinPos) {
        int left = 0, top = 0;
        m_view->mainWindowPosition(&left, &top);
        m_settings.WinPosLeft = qint16(qBound(-32768, left, 32767));
        m_settings.WinPosTop = qint16(qBound(-32768, top, 32767));
    }
    if (m_filesLoaded) {
        const OpenWindows open = m_view->openWindows();
        m_settings.SelfViewOn = open.selfView;
        m_settings.ChatToolOn = open.chat;
        m_settings.DataRatesOn = open.dataRates;
    }
}

bool Program::queryUnload()
{
    if (m_session.callState() != CallStates::Establishing) return true;
    m_messages.showInfoMessage(
        QStringLiteral("You must cancel the connection that is being established before exiting."));
    return false;
}

void Program::shutDown()
{
    if (m_shutDown) return;
    m_shutDown = true;
    m_keeper.stop();
    m_startupTimer.stop();
    if (m_unattended) m_unattended->stop();
    m_directory.shutDown();
    m_presence.shutDown();
    m_media.shutDown();
    m_signalling.shutDown();
    m_quickMessages.shutDown();
    m_portMapping.stop();

    m_log.addLogEntry(QStringLiteral("OVELA Power Down"));
    windowStateIntoSettings();
    saveSettings(m_config.settingsPath, m_settings);
    // Lists and log that were never read (a shutdown during start-up) must not be replaced.
    if (m_filesLoaded) {
        savePals(m_pals, m_messages);
        saveRefuseList(m_refuseList, m_messages);
    }
    m_media.shutDownEngines();
    if (m_view) m_view->unloadWindows();
    m_chatLink.shutDown();

    if (!m_filesLoaded) return;
    if (const FileError e = m_log.saveActivityLog())
        m_messages.messageBox(e.message(ActivityLog::SaveFailure));
}
