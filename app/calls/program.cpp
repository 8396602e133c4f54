// Start-up, listeners and shutdown.
#include "program.h"

#include "calls/shellview.h"
#include "platform/soundplayer.h"
#include "platform/usermessages.h"

Program::Program(UserMessages &messages, SoundPlayer &sounds, QObject *parent)
    : QObject(parent), chat(session), incoming(settings, session, endpoints, log),
      signalling({settings, session, endpoints, incoming, chat, log, sounds, messages}),
      media({settings, session, endpoints, chat, log, sounds, messages}),
      outgoing(session, endpoints, messages), settingsPath(settingsFilePath()),
      m_messages(messages), m_sounds(sounds)
{
    m_startupTimer.setInterval(StartupTickMs);
    connect(&m_startupTimer, &QTimer::timeout, this, &Program::startupTick);
    media.placeStartupCall = [this](const QString &address) {
        outgoing.PlaceCall(address, 2000, 0);
    };
    endpoints.ippServer.setEol(ServerEol);
    // Until quick messages are received here, a connection on the message port that stays silent
    // is let go rather than held for ever.
    endpoints.ipdMessage.setIdleTimeout(30000);
}

Program::~Program() = default;

void Program::startUp(ShellView &view, const QString &commandLine)
{
    m_view = &view;
    view.sizeMainWindow();
    if (commandLine.isEmpty()) view.showSplash();
    LoadSettings(settingsPath, settings);
    if (settings.SaveWinPos) view.moveMainWindow(settings.WinPosLeft, settings.WinPosTop);
    media.InitMediaEngine();
    StartListeners();
    // A termination signal may arrive while a start-up message waits for its OK.
    if (m_shutDown) return;
    view.loadWindows();
    if (const EndpointError e = chat.load(session.BasePort))
        reportListener(QStringLiteral("Failed to start text Listen Daemon 4: "), e);
    if (m_shutDown) return;
    LoadRefuseList(refuseList);
    LoadPalFile(pals);
    log.LoadActivityLog();
    m_filesLoaded = true;
    log.AddLogEntry(QStringLiteral("OVELA Power Up"));
    media.startTimer();
    media.startupCallTarget = commandLine;
    if (!commandLine.isEmpty()) {
        incoming.AutoAcceptOnce = true;
        view.showMainWindow();
    } else {
        incoming.AutoAcceptOnce = false;
        m_startupTicks = 0;
        m_startupTimer.start();
    }
}

void Program::reportListener(const QString &text, const EndpointError &error)
{
    m_messages.messageBox(text + QString::number(error.number) + QLatin1Char(' ') +
                          error.description);
}

void Program::StartListeners()
{
    Endpoints &ep = endpoints;
    ep.ipdQvid.setActive(true);
    ep.ipdControl.setActive(true);
    ep.ippControl.setActive(true);
    ep.ippClient.setActive(true);
    ep.ippServer.setActive(true);
    ep.ipdMessage.setActive(true);

    ep.ipdControl.setLocalPort(session.BasePort);
    EndpointError e = ep.ipdControl.setListening(true);
    while (e.number == EndpointErrors::AddressInUse && session.BasePort < 2010) {
        session.BasePort = quint16(session.BasePort + 4);
        ep.ipdControl.setLocalPort(session.BasePort);
        e = ep.ipdControl.setListening(true);
    }
    if (e) reportListener(QStringLiteral("Failed to start Listen Daemon 1: "), e);

    ep.ipdQvid.setLocalPort(quint16(session.BasePort + 1));
    if ((e = ep.ipdQvid.setListening(true)))
        reportListener(QStringLiteral("Failed to start Listen Daemon 2: "), e);

    ep.ipdMessage.setLocalPort(quint16(session.BasePort + 2));
    if ((e = ep.ipdMessage.setListening(true)))
        reportListener(QStringLiteral("Failed to start Listen Daemon 3: "), e);

    // The network check: this machine must have an address to be reached at.
    if (ep.ippClient.setRemoteHost(ep.ippClient.localHost()))
        m_messages.messageBox(QStringLiteral(
            "You must connect to the Internet before running OVELA. Please connect to the "
            "Internet and run OVELA again."));
    ep.ippServer.setEol(ServerEol);
}

void Program::startupTick()
{
    ++m_startupTicks;
    if (m_startupTicks == 1) emit palCheckDue();
    if (m_startupTicks < StartupTicks || !m_view) return;
    m_startupTimer.stop();
    m_view->closeSplash();
    if (settings.RememberWin)
        m_view->showStartupWindows(settings.SelfViewOn, settings.ChatToolOn, settings.DataRatesOn);
    else
        m_view->showStartupWindows(true, false, false);
    m_view->showMainWindow();
    if (settings.Name.isEmpty() || settings.EMail.isEmpty() || settings.Location.isEmpty()) {
        m_view->showOptions();
        m_messages.showInfoMessage(QStringLiteral(
            "Please take a moment to fill in your user information and verify the setup."));
    }
}

bool Program::queryUnload()
{
    if (session.CallState != CallStates::Establishing) return true;
    m_messages.showInfoMessage(
        QStringLiteral("You must cancel the connection that is being established before exiting."));
    return false;
}

void Program::savePals()
{
    if (const FileError e = SavePalFile(pals)) m_messages.messageBox(e.message(PalSaveFailure));
}

void Program::saveRefuseList()
{
    if (const FileError e = SaveRefuseList(refuseList))
        m_messages.messageBox(e.message(RefuseSaveFailure));
}

void Program::shutDown()
{
    if (m_shutDown) return;
    m_shutDown = true;
    m_startupTimer.stop();
    Endpoints &ep = endpoints;
    ep.ippServer.setConnected(false);
    ep.ippClient.setConnected(false);
    if (ep.ipdControl.connected(1)) ep.ipdControl.setConnected(1, false);
    if (ep.ipdQvid.connected(1)) ep.ipdQvid.setConnected(1, false);
    ep.ippControl.setConnected(false);
    ep.ipdQvid.setListening(false);
    ep.ipdControl.setListening(false);
    ep.ipdMessage.setListening(false);
    ep.ipdQvid.setActive(false);
    ep.ipdControl.setActive(false);
    ep.ippControl.setActive(false);
    ep.ippClient.setActive(false);
    ep.ippServer.setActive(false);
    ep.ipdMessage.setActive(false);
    media.stopTimer();

    log.AddLogEntry(QStringLiteral("OVELA Power Down"));
    if (m_view) {
        if (settings.SaveWinPos) {
            int left = 0, top = 0;
            m_view->mainWindowPosition(&left, &top);
            settings.WinPosLeft = qint16(qBound(-32768, left, 32767));
            settings.WinPosTop = qint16(qBound(-32768, top, 32767));
        }
        if (m_filesLoaded) m_view->collectWindowSettings(settings);
    }
    SaveSettings(settingsPath, settings);
    // Lists and log that were never read (a shutdown during start-up) must not be replaced.
    if (m_filesLoaded) {
        savePals();
        saveRefuseList();
    }
    media.shutDownEngines();
    if (m_view) m_view->unloadWindows();
    chat.terminate();

    if (!m_filesLoaded) return;
    if (const FileError e = log.SaveActivityLog())
        m_messages.messageBox(e.message(ActivityLog::SaveFailure));
}
