// The main window's model.
#include "mainwindowmodel.h"

#include "calls/callsecurity.h"
#include "calls/callsession.h"
#include "calls/callsignalling.h"
#include "calls/mediasession.h"
#include "messaging/quickmessagereceiver.h"
#include "platform/usermessages.h"
#include "userdata/settings.h"

MainWindowModel::MainWindowModel(const Deps &deps, QObject *parent) : QObject(parent), m_deps(deps)
{
    MediaSession &media = m_deps.media;
    connect(&media, &MediaSession::callEntered, this, [this] {
        emit lightsChanged();
        emit callEntered();
    });
    connect(&media, &MediaSession::callEnded, this, [this] {
        showIncomingSize(StartPicture.width(), StartPicture.height());
        emit lightsChanged();
        emit callEnded();
    });
    connect(&media, &MediaSession::animationFrameChanged, this,
            &MainWindowModel::animationFrameChanged);
    connect(&media.clock(), &CallClock::changed, this, &MainWindowModel::clockChanged);
    connect(&media, &MediaSession::incomingPictureResized, this,
            &MainWindowModel::showIncomingSize);
    connect(&media, &MediaSession::figures, this, &MainWindowModel::figures);
    connect(&media, &MediaSession::figuresReset, this, &MainWindowModel::figuresReset);
    connect(&media, &MediaSession::captureRate, this, &MainWindowModel::captureRate);
    connect(&media, &MediaSession::fiveSecondStep, this, &MainWindowModel::fiveSecondStep);
    connect(&media.audio(), &AudioPath::microphoneChanged, this, &MainWindowModel::lightsChanged);
    connect(&media.audio(), &AudioPath::speakerChanged, this, &MainWindowModel::lightsChanged);
    connect(&media.video(), &VideoPath::cameraChanged, this, &MainWindowModel::lightsChanged);
    connect(&media.video(), &VideoPath::captureAvailabilityChanged, this, [this](bool available) {
        emit selfViewAvailabilityChanged(available);
        if (!available) setSelfViewShown(false);
    });
    connect(&m_deps.security, &CallSecurity::changed, this, &MainWindowModel::lockChanged);
    connect(&media, &MediaSession::callEntered, this, &MainWindowModel::lockChanged);
    connect(&media, &MediaSession::callEnded, this, &MainWindowModel::lockChanged);
    connect(&m_deps.signalling, &CallSignalling::doNotDisturbChanged, this,
            &MainWindowModel::doNotDisturbChanged);
    connect(&m_deps.received, &QuickMessageReceiver::indicatorChanged, this,
            &MainWindowModel::messageIndicatorChanged);
}

bool MainWindowModel::inCall() const
{
    return m_deps.session.inCall();
}

void MainWindowModel::toolbarCommand(int tool)
{
    const Settings &s = m_deps.settings;
    switch (tool) {
    case CallTool:
        if (m_deps.session.mediaState() != MediaState::None) {
            hangUp();
            return;
        }
        if (s.Name.size() < 3) {
            m_deps.messages.showInfoMessage(
                QStringLiteral("You must enter a name of at least 3 Characters in length.  "));
            return;
        }
        if (s.EMail.size() < 8) {
            m_deps.messages.showInfoMessage(QStringLiteral(
                "You must enter an Email Address of at least 8 Characters in length."));
            return;
        }
        emit directoryRequested();
        break;
    case DirectoryTool:
        emit directoryRequested();
        break;
    case SelfViewTool:
        emit selfViewRequested(!m_selfViewShown);
        break;
    case ChatTool:
        emit chatRequested(!m_chatShown);
        break;
    default:
        break;
    }
}

void MainWindowModel::hangUp()
{
    m_deps.signalling.hangUp();
}

void MainWindowModel::setSelfViewShown(bool shown)
{
    m_selfViewShown = shown;
    emit selfViewShownChanged(shown);
}

void MainWindowModel::setChatShown(bool shown)
{
    m_chatShown = shown;
    emit chatShownChanged(shown);
}

bool MainWindowModel::selfViewAvailable() const
{
    return m_deps.media.video().captureAvailable();
}

bool MainWindowModel::selfViewFollowsMain() const
{
    return m_deps.settings.MoveAllWin;
}

void MainWindowModel::setTalking(bool on, bool latched)
{
    m_talking = on;
    m_deps.media.talk(on);
    emit talkingChanged(on, latched);
}

void MainWindowModel::talkHeld(bool down)
{
    setTalking(down, false);
}

void MainWindowModel::talkLatch()
{
    setTalking(!m_talking, true);
}

bool MainWindowModel::doNotDisturb() const
{
    return m_deps.signalling.doNotDisturb();
}

void MainWindowModel::setDoNotDisturb(bool on)
{
    m_deps.signalling.setDoNotDisturb(on);
}

MainWindowModel::Light MainWindowModel::microphoneLight() const
{
    const AudioPath &audio = m_deps.media.audio();
    if (!audio.available()) return Light::NoDevice;
    return audio.microphoneOn() ? Light::On : Light::Off;
}

MainWindowModel::Light MainWindowModel::speakerLight() const
{
    const AudioPath &audio = m_deps.media.audio();
    if (!audio.speakerUsable()) return Light::NoDevice;
    return audio.speakerOpen() ? Light::On : Light::Off;
}

MainWindowModel::Light MainWindowModel::cameraLight() const
{
    return m_deps.media.video().cameraOn() ? Light::On : Light::Off;
}

bool MainWindowModel::quickMessagesShown() const
{
    return !m_deps.settings.MessagingDisable;
}

bool MainWindowModel::messageWaiting() const
{
    return m_deps.received.messageWaiting();
}

void MainWindowModel::openNextMessage()
{
    ReceivedMessage message;
    m_deps.received.openNextMessage(&message);
}

void MainWindowModel::settingsChanged()
{
    emit quickMessagesShownChanged(quickMessagesShown());
}

const CallClock &MainWindowModel::clock() const
{
    return m_deps.media.clock();
}

int MainWindowModel::animationFrame() const
{
    return m_deps.media.animationFrame();
}

void MainWindowModel::setIncomingTarget(PictureTarget *target)
{
    m_deps.media.setIncomingTarget(target);
}

void MainWindowModel::showIncomingSize(int width, int height)
{
    if (width == m_display.width()) return;
    // A peer may send any shape; the display never grows past the largest picture size.
    m_display = QSize(width, height).boundedTo(LargestPicture).expandedTo(SmallestPicture);
    emit displaySizeChanged(m_display);
}

bool MainWindowModel::zoom(Zoom which, bool windowNormal)
{
    if (!windowNormal) return false;
    constexpr int WideFrames = 320;
    if (which == Zoom::Small && m_deps.media.lastPictureValue() == WideFrames) return false;
    m_display = which == Zoom::Small ? SmallPicture : StartPicture;
    emit displaySizeChanged(m_display);
    return true;
}

bool MainWindowModel::requestClose()
{
    if (!m_deps.program.shutDownDone() && !m_deps.program.queryUnload()) return false;
    m_deps.program.shutDown();
    return true;
}

void MainWindowModel::terminate()
{
    m_deps.program.shutDown();
}

bool MainWindowModel::shutDownDone() const
{
    return m_deps.program.shutDownDone();
}

MainWindowModel::Lock MainWindowModel::lock() const
{
    if (!inCall()) return Lock::None;
    return m_deps.security.encrypted() ? Lock::Closed : Lock::Open;
}

QString MainWindowModel::lockCode() const
{
    return lock() == Lock::Closed ? m_deps.security.code() : QString();
}

QString MainWindowModel::lockDescription() const
{
    return m_deps.security.description();
}
