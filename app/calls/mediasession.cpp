// The media connection and the main timer.
#include "mediasession.h"

#include "calls/callsession.h"
#include "calls/endpoints.h"
#include "directory/activitylog.h"
#include "messaging/chatlink.h"
#include "platform/soundplayer.h"
#include "qvidutil.h"
#include "shell/settings.h"

QByteArray mediaPacket(const char *tag, QByteArray payload)
{
    // The peer takes payloads of up to 29,000 bytes; a longer text is cut at a character
    // boundary rather than refused.
    if (payload.size() > MaxTextPayload) {
        qsizetype cut = MaxTextPayload;
        while (cut > 0 && (uchar(payload.at(cut)) & 0xC0) == 0x80)
            --cut;
        payload.truncate(cut);
    }
    return QByteArray(tag) + QByteArray::number(payload.size()).rightJustified(5, '0') + payload +
           MediaEol;
}

MediaSession::MediaSession(const Deps &deps, QObject *parent) : QObject(parent), m_(deps)
{
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &MediaSession::tick);
    m_clockBase.start();

    Endpoints &ep = m_.endpoints;
    ep.ippClient.setEol(MediaEol);
    connect(&ep.ipdQvid, &IPDaemon::ConnectionRequest, this, &MediaSession::onServedRequest);
    connect(&ep.ipdQvid, &IPDaemon::Connected, this,
            [this](int id, int status) { onServedConnected(id, status); });
    connect(&ep.ipdQvid, &IPDaemon::Disconnected, this,
            [this](int id) { endCall(m_.endpoints.ipdQvid.remoteHost(id)); });
    connect(&ep.ippClient, &IPPort::Connected, this,
            [this](int status) { onClientConnected(status); });
    connect(&ep.ippClient, &IPPort::Disconnected, this,
            [this] { endCall(m_.endpoints.ippClient.remoteHost()); });
}

void MediaSession::InitMediaEngine()
{
    CallSession &s = m_.session;
    m_text.reset();
    s.mediaState = MediaStates::None;
    s.speakerState = 1;
    s.microphoneState = 1;
    s.BasePort = 2000;
}

bool MediaSession::inCall() const
{
    return m_.session.mediaState == MediaStates::Established;
}

void MediaSession::onServedRequest(bool *accept)
{
    // Media connections come from the peer of the call accepted on control connection 1; a
    // connection from anywhere else, or a second one, would hijack the call.
    CallSession &s = m_.session;
    *accept = s.acceptedIncoming && m_.endpoints.ipdQvid.connectionCount() == 0;
    if (*accept) s.mediaState = MediaStates::Requested;
}

void MediaSession::onServedConnected(int id, int status)
{
    Endpoints &ep = m_.endpoints;
    if (status != 0) {
        if (ep.ippControl.connected()) ep.ippControl.setConnected(false);
        if (m_.chat.ippText.connected()) m_.chat.ippText.setConnected(false);
        return;
    }
    ep.ipdQvid.setBufferSizes(id, 32768, 16384);
    ep.ipdQvid.setEol(id, MediaEol);
    enterCall();
}

void MediaSession::onClientConnected(int status)
{
    Endpoints &ep = m_.endpoints;
    if (status != 0) {
        ep.ippControl.setConnected(false);
        m_.session.CallState = CallStates::NoAnswer;
        return;
    }
    m_.chat.ConnectText(ep.ippControl.remoteHost(), ep.ippControl.remotePort());
    m_text.reset();
    enterCall();
    m_clock.reset();
    m_.log.AddLogEntry(QStringLiteral("Placed call to ") + ep.ippClient.remoteHost());
}

void MediaSession::enterCall()
{
    m_.chat.setPeerCaption(m_.session.RemoteUserName);
    if (m_.settings.SendWelcome) m_text.add(m_.settings.WelcomeMsg);
    m_.session.mediaState = MediaStates::Established;
    emit callEntered();
}

void MediaSession::endCall(const QString &remoteHost)
{
    CallSession &s = m_.session;
    if (s.audioIdle()) m_.sounds.play(QStringLiteral("discon.wav"));
    m_.chat.setIdleCaption();
    s.mediaState = MediaStates::None;
    s.acceptedIncoming = false;
    m_clock.reset();
    EndMediaSession();
    m_.log.AddLogEntry(QStringLiteral("Disconnected from ") + remoteHost);
}

void MediaSession::EndMediaSession()
{
    CallSession &s = m_.session;
    m_text.reset();
    s.peerVersion = false;
    s.realTime = false;
    emit figuresReset();
    m_.chat.clearOutgoing();
    m_.chat.appendIncoming(QStringLiteral("\r\n<End of Connection>\r\n"));
    s.RemoteUserName.clear();
    emit callEnded();
}

void MediaSession::tick()
{
    if (!startupCallTarget.isEmpty()) {
        const QString target = startupCallTarget;
        startupCallTarget.clear();
        if (placeStartupCall) placeStartupCall(target);
    }

    // The activity animation moves every second tick during a call, and after one until it is
    // back at its first picture.
    ++m_tickCount;
    if ((m_tickCount % 2) == 0 && (m_.session.mediaState != MediaStates::None || m_frame != 0)) {
        m_frame = (m_frame + 1) % AnimationFrames;
        emit animationFrameChanged(m_frame);
    }

    const qint64 now = m_clockBase.elapsed();
    if (!inCall()) {
        m_nextSecond = now + 1000;
        return;
    }
    if (now >= m_nextSecond) {
        m_nextSecond = now + 1000;
        m_clock.tick();
    }
    sendText();
}

void MediaSession::sendText()
{
    if (m_text.empty()) return;
    const QByteArray packet = mediaPacket("TXT", QVIDUTIL::wire(m_text.oldest()));
    Endpoints &ep = m_.endpoints;
    qint64 sent = 0;
    if (ep.ipdQvid.connected(1)) {
        ep.ipdQvid.dataToSend(1, packet);
        sent = ep.ipdQvid.bytesSent(1);
    } else if (ep.ippClient.connected()) {
        ep.ippClient.dataToSend(packet);
        sent = ep.ippClient.bytesSent();
    }
    if (sent >= 1) m_text.advance();
}
