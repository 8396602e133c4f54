// The call control protocol on the control client (calling side) and listener (called side).
#include "callsignalling.h"

#include "calls/callsecurity.h"
#include "calls/callsession.h"
#include "calls/incomingcall.h"
#include "calls/mediasession.h"
#include "chatconversation.h"
#include "chatlink.h"
#include "platform/linetransport.h"
#include "platform/soundplayer.h"
#include "platform/usermessages.h"
#include "protocol/callcontrol.h"
#include "userdata/activitylog.h"
#include "userdata/settings.h"

#include <QSignalBlocker>

#include <utility>

using namespace CallControl;

CallSignalling::CallSignalling(const Deps &deps, QObject *parent)
    : QObject(parent), m_deps(deps), m_listener(deps.transports.listener()),
      m_client(deps.transports.client())
{
    connect(m_client.get(), &LineClient::connectFinished, this,
            [this](int status, const QString &text) { onControlConnected(status, text); });
    connect(m_client.get(), &LineClient::dataIn, this,
            [this](const QByteArray &text, bool) { onControlData(text); });
    connect(m_client.get(), &LineClient::disconnected, this, &CallSignalling::onControlClosed);
    m_client->setConnectTimeout(m_connectTimeoutMs);
    // Every reason a call failed goes into the log, whichever part of the call saw it.
    connect(&m_deps.session, &CallSession::failed, this,
            [this](const CallFailure &why) { m_deps.log.addLogEntry(why.logLine()); });
    connect(m_listener.get(), &LineListener::connectionRequest, this,
            [this](bool *accept) { *accept = !m_doNotDisturb; });
    connect(m_listener.get(), &LineListener::dataIn, this,
            [this](int id, const QByteArray &text, bool) { onListenerData(id, text); });
    connect(m_listener.get(), &LineListener::disconnected, this,
            [this](int id) { onListenerDisconnected(id); });
    connect(&m_deps.incoming, &IncomingCall::accepted, this, &CallSignalling::sendAccept);
    connect(&m_deps.incoming, &IncomingCall::declined, this, &CallSignalling::sendDecline);
    m_sweep.setInterval(SweepMs);
    connect(&m_sweep, &QTimer::timeout, this, &CallSignalling::sweepStrayConnections);
    m_sweep.start();
}

CallSignalling::~CallSignalling() = default;

EndpointError CallSignalling::start(quint16 *basePort)
{
    m_listener->setActive(true);
    m_client->setActive(true);
    const quint16 first = *basePort;
    m_listener->setLocalPort(*basePort);
    EndpointError e = m_listener->setListening(true);
    while (e.number == EndpointErrors::AddressInUse &&
           *basePort - first < BasePortStep * BasePortSteps) {
        *basePort = quint16(*basePort + BasePortStep);
        m_listener->setLocalPort(*basePort);
        e = m_listener->setListening(true);
    }
    return e;
}

void CallSignalling::shutDown()
{
    if (m_listener->connected(1)) m_listener->setConnected(1, false);
    m_client->setConnected(false);
    m_listener->setListening(false);
    m_listener->setActive(false);
    m_client->setActive(false);
    m_sweep.stop();
}

void CallSignalling::setDoNotDisturb(bool on)
{
    if (m_doNotDisturb == on) return;
    m_doNotDisturb = on;
    emit doNotDisturbChanged(on);
}

bool CallSignalling::busyCheck(int id) const
{
    if (id > 1) return true;
    // A request from this very machine while it calls out is a call to oneself, not a second
    // caller.
    return m_client->connected() && m_listener->remoteHost(id) != m_client->localHost();
}

int CallSignalling::controlConnections() const
{
    return m_listener->connectionCount();
}

quint16 CallSignalling::listeningPort() const
{
    return m_listener->listening() ? m_listener->localPort() : 0;
}

QString CallSignalling::callLine(const QString &name, const QString &location,
                                 const QString &time) const
{
    return QStringLiteral("Call: ") + name + QStringLiteral(", Time in ") + location +
           QStringLiteral(" is ") + time + QStringLiteral(".\r\n");
}

void CallSignalling::ring()
{
    if (m_deps.media.audio().idle()) m_deps.sounds.play(QStringLiteral("ringin.wav"));
}

void CallSignalling::settleEncryption(bool encrypted)
{
    const std::optional<QSslConfiguration> tls = m_deps.security.settle(encrypted);
    m_deps.media.setEncryption(tls);
    m_deps.chatLink.setEncryption(tls);
}

// ---- calling side -------------------------------------------------------------------------

EndpointError CallSignalling::connectControl(const QString &host, quint16 port)
{
    {
        // Letting the previous connection go is no event of the new call: its close must not
        // turn the new call's state into "did not answer".
        const QSignalBlocker quiet(m_client.get());
        m_client->setConnected(false);
    }
    m_client->setRemotePort(port);
    if (const EndpointError e = m_client->setRemoteHost(host)) return e;
    m_deps.security.beginCall();
    m_mediaAfterCapability = false;
    return m_client->setConnected(true);
}

void CallSignalling::abandonControl()
{
    if (calling()) m_client->setConnected(false);
}

bool CallSignalling::calling() const
{
    return m_client->connected() || m_client->connecting();
}

void CallSignalling::closeControl()
{
    if (m_client->connected()) m_client->setConnected(false);
}

void CallSignalling::setConnectTimeout(int ms)
{
    m_connectTimeoutMs = ms;
    m_client->setConnectTimeout(ms);
}

void CallSignalling::onControlConnected(int status, const QString &description)
{
    if (status != 0) {
        const CallFailure why =
            CallFailure::fromConnect(status, description, m_client->remoteHost(),
                                     m_client->remotePort(), m_connectTimeoutMs / 1000);
        if (why.kind == CallFailure::Kind::NameNotFound) { // looked up as the call was placed
            m_deps.messages.showInfoMessage(
                QStringLiteral("You have entered an invalid Host Address: ") +
                QString::number(status) + QLatin1Char(' ') + description + QLatin1Char('\n') +
                why.text());
            m_deps.session.cancelled();
        } else {
            m_deps.session.notAnswered();
        }
        m_deps.session.fail(why);
        return;
    }
    m_deps.session.requesting();
    const Settings &s = m_deps.settings;
    m_client->dataToSend(build(Request{s.Name, s.Location, timeOfDay()}));
}

void CallSignalling::onControlData(const QByteArray &text)
{
    CallSession &s = m_deps.session;
    const Message message = parse(text);
    if (const auto *answer = std::get_if<Answer>(&message)) {
        if (!answer->yes) {
            s.answered(false);
            m_deps.log.addLogEntry(QStringLiteral("Call Not Accepted from ") +
                                   m_client->remoteHost());
            s.fail({CallFailure::Kind::Declined, m_client->remoteHost(), m_client->remotePort()});
            closeClientConnections();
            return;
        }
        // Encrypted when both can; plain only if this side allows it.
        const bool encrypted = m_deps.security.offers() && answer->encrypts;
        if (!encrypted && m_deps.security.refusesPlain()) {
            s.answered(false);
            m_deps.log.addLogEntry(QStringLiteral("Call not made: ") + answer->name +
                                   QStringLiteral(" cannot take an encrypted call"));
            s.fail(
                {CallFailure::Kind::PlainRefused, m_client->remoteHost(), m_client->remotePort()});
            closeClientConnections();
            return;
        }
        s.setRemoteUserName(answer->name);
        s.answered(true);
        m_deps.log.addLogEntry(QStringLiteral("Call Accepted from ") + answer->name +
                               QStringLiteral(", ") + answer->location + QLatin1Char(' ') +
                               m_client->remoteHost() + QStringLiteral(", ") + answer->time);
        m_deps.chat.appendIncoming(callLine(answer->name, answer->location, answer->time));
        if (!m_listener->connected(1)) ring(); // not a call to oneself
        settleEncryption(encrypted);
        m_client->dataToSend(build(Capability{Version, m_deps.settings.EnableRTC, encrypted}));
        // An encrypted call's media connection waits for the peer's UIF: by then the peer has
        // read this side's and expects TLS.
        m_mediaAfterCapability = encrypted;
        if (!encrypted) connectMedia(m_client->remoteHost());
    } else if (const auto *capability = std::get_if<Capability>(&message)) {
        if (capability->version == Version) s.setCapabilities(true, capability->realTime);
        if (std::exchange(m_mediaAfterCapability, false)) connectMedia(m_client->remoteHost());
    } else if (std::holds_alternative<Busy>(message)) {
        s.busy();
        m_deps.log.addLogEntry(QStringLiteral("User at ") + m_client->remoteHost() +
                               QStringLiteral(" busy."));
        s.fail({CallFailure::Kind::Busy, m_client->remoteHost(), m_client->remotePort()});
        closeClientConnections();
    }
}

void CallSignalling::onControlClosed()
{
    CallSession &s = m_deps.session;
    const bool unanswered = s.callState() == CallStates::Requesting;
    s.controlClosed();
    if (unanswered) {
        s.fail({CallFailure::Kind::DroppedBeforeAnswer, m_client->remoteHost(),
                m_client->remotePort()});
    }
}

void CallSignalling::connectMedia(const QString &host)
{
    if (host.trimmed().isEmpty()) return;
    if (const EndpointError e = m_deps.media.connectTo(host, quint16(m_client->remotePort() + 1))) {
        m_deps.messages.showInfoMessage(
            QStringLiteral("You have entered an invalid Host Address: ") +
            QString::number(e.number) + QLatin1Char(' ') + e.description);
    }
}

// ---- called side --------------------------------------------------------------------------

void CallSignalling::onListenerData(int id, const QByteArray &text)
{
    const Message message = parse(text);
    if (const auto *request = std::get_if<Request>(&message)) {
        m_deps.session.setRemoteUserName(request->name);
        const QString from = request->name + QStringLiteral(", ") + request->location +
                             QLatin1Char(' ') + m_listener->remoteHost(id);
        if (busyCheck(id)) {
            m_deps.incoming.showBusyNotice(request->name, request->location);
            ring();
            if (m_listener->connected(id)) m_listener->dataToSend(id, build(Busy{}));
            m_deps.log.addLogEntry(QStringLiteral("Sent busy to :") + from);
            return;
        }
        // A new call: its connections are plain until both sides have said they can encrypt.
        m_deps.security.beginCall();
        m_deps.media.setEncryption(std::nullopt);
        m_deps.chatLink.setEncryption(std::nullopt);
        m_offered = false;
        const QString received =
            QStringLiteral("Received Call from ") + from + QStringLiteral(", ") + request->time;
        if (m_screen) {
            m_deps.log.addLogEntry(received);
            m_screened = {request->name, request->location, request->time,
                          m_listener->remoteHost(id)};
            m_screen(m_screened);
            return;
        }
        m_deps.incoming.openCallPrompt(request->name, request->location);
        ring();
        m_deps.log.addLogEntry(received);
        m_deps.chat.appendIncoming(callLine(request->name, request->location, request->time));
    } else if (const auto *capability = std::get_if<Capability>(&message)) {
        CallSession &s = m_deps.session;
        const bool ofTheCall = id == 1 && s.acceptedIncoming();
        const bool encrypted = ofTheCall && m_offered && capability->encrypts;
        if (ofTheCall && !encrypted && m_deps.security.refusesPlain()) {
            const QString who = s.remoteUserName();
            s.fail({CallFailure::Kind::PlainRefused, m_listener->remoteHost(id), 0});
            m_deps.messages.showInfoMessage(CallSecurity::plainRefusedText(who));
            m_listener->setConnected(id, false);
            return;
        }
        if (ofTheCall) settleEncryption(encrypted);
        if (capability->version == Version)
            s.setCapabilities(true, capability->realTime && m_deps.settings.EnableRTC);
        m_listener->dataToSend(id, build(Capability{Version, s.realTime(), encrypted}));
    }
}

void CallSignalling::onListenerDisconnected(int id)
{
    if (id == 1) m_deps.session.incomingControlClosed();
}

void CallSignalling::sendAccept()
{
    if (!m_listener->connected(1)) return;
    const Settings &s = m_deps.settings;
    m_offered = m_deps.security.offers();
    m_listener->dataToSend(1, build(Answer{true, s.Name, s.Location, timeOfDay(), m_offered}));
    m_deps.session.acceptedHere();
}

bool CallSignalling::answerScreened(bool accept)
{
    if (!m_listener->connected(1)) return false;
    if (!accept) {
        sendDecline();
        return true;
    }
    const Caller &c = m_screened;
    m_deps.incoming.AutoAcceptOnce = true;
    m_deps.incoming.openCallPrompt(c.name, c.location); // accepts at once
    ring();
    m_deps.chat.appendIncoming(callLine(c.name, c.location, c.time));
    return true;
}

void CallSignalling::sendDecline()
{
    if (m_listener->connected(1)) m_listener->dataToSend(1, build(Answer{}));
}

// ---- hanging up ---------------------------------------------------------------------------

void CallSignalling::hangUp()
{
    if (m_deps.media.servedConnected())
        closeServedConnection(1);
    else if (m_deps.media.clientConnected())
        closeClientConnections();
}

void CallSignalling::closeServedConnection(int n)
{
    m_deps.media.closeServed(n);
    m_listener->setConnected(n, false);
    m_deps.chatLink.closeServed(n);
}

void CallSignalling::closeClientConnections()
{
    m_deps.media.closeClient();
    m_client->setConnected(false);
    m_deps.chatLink.closeClient();
}

void CallSignalling::sweepStrayConnections()
{
    const QList<int> ids = m_listener->connectionIds();
    for (int id : ids) {
        const bool carriesCall =
            id == 1 && (m_deps.incoming.promptOpen() || m_deps.session.acceptedIncoming() ||
                        m_deps.session.mediaState() != MediaState::None);
        if (!carriesCall && m_listener->connectionAge(id) > m_strayMs)
            m_listener->setConnected(id, false);
    }
}
