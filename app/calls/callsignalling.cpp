// The call control protocol on ippControl (calling side) and ipdControl (called side).
#include "callsignalling.h"

#include "calls/callsession.h"
#include "calls/endpoints.h"
#include "calls/incomingcall.h"
#include "directory/activitylog.h"
#include "messaging/chatlink.h"
#include "platform/soundplayer.h"
#include "platform/usermessages.h"
#include "qvidutil.h"
#include "shell/settings.h"

using namespace QVIDUTIL;

namespace
{
QString peerField(const QByteArray &text, int n)
{
    QString field = fromWire(GetField(text, n).left(CallSignalling::MaxPeerField));
    // A line break in a name would split its log line into entries of the peer's making.
    for (QChar &c : field)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char(' ');
    return field;
}
} // namespace

CallSignalling::CallSignalling(const Deps &deps, QObject *parent) : QObject(parent), m_(deps)
{
    Endpoints &ep = m_.endpoints;
    connect(&ep.ippControl, &IPPort::Connected, this,
            [this](int status, const QString &) { onControlConnected(status); });
    connect(&ep.ippControl, &IPPort::DataIn, this,
            [this](const QByteArray &text, bool) { onControlData(text); });
    connect(&ep.ippControl, &IPPort::Disconnected, this, [this] { onControlDisconnected(); });
    connect(&ep.ipdControl, &IPDaemon::ConnectionRequest, this,
            [this](bool *accept) { *accept = !m_doNotDisturb; });
    connect(&ep.ipdControl, &IPDaemon::DataIn, this,
            [this](int id, const QByteArray &text, bool) { onListenerData(id, text); });
    connect(&ep.ipdControl, &IPDaemon::Disconnected, this,
            [this](int id) { onListenerDisconnected(id); });
    m_sweep.setInterval(5000);
    connect(&m_sweep, &QTimer::timeout, this, &CallSignalling::sweepStrayConnections);
    m_sweep.start();
}

void CallSignalling::setDoNotDisturb(bool on)
{
    if (m_doNotDisturb == on) return;
    m_doNotDisturb = on;
    emit doNotDisturbChanged(on);
}

bool CallSignalling::BusyCheck(int id) const
{
    const Endpoints &ep = m_.endpoints;
    if (id > 1) return true;
    // A request from this very machine while it calls out is a call to oneself, not a second
    // caller.
    return ep.ippControl.connected() && ep.ipdControl.remoteHost(id) != ep.ippControl.localHost();
}

QByteArray CallSignalling::requestMessage() const
{
    return "RQC;" + wire(m_.settings.Name) + ';' + wire(m_.settings.Location) + ';' +
           wire(timeOfDayText()) + ';';
}

QByteArray CallSignalling::capabilityMessage(bool flag)
{
    return "UIF;" + wire(ProtocolVersion) + ';' + (flag ? "True" : "False") + ';';
}

QString CallSignalling::callLine(const QString &name, const QString &location,
                                 const QString &time) const
{
    return QStringLiteral("Call: ") + name + QStringLiteral(", Time in ") + location +
           QStringLiteral(" is ") + time + QStringLiteral(".\r\n");
}

void CallSignalling::ring()
{
    if (m_.session.audioIdle()) m_.sounds.play(QStringLiteral("ringin.wav"));
}

// ---- calling side -------------------------------------------------------------------------

void CallSignalling::onControlConnected(int status)
{
    if (status != 0) {
        m_.session.CallState = CallStates::NoAnswer;
        return;
    }
    m_.session.CallState = CallStates::Requesting;
    m_.endpoints.ippControl.dataToSend(requestMessage());
}

void CallSignalling::onControlData(const QByteArray &text)
{
    CallSession &s = m_.session;
    IPPort &control = m_.endpoints.ippControl;
    const QByteArray command = text.left(3);
    if (command == "RRS") {
        if (CountFields(text) <= 1) return;
        if (GetField(text, 2) != "YES") {
            s.CallState = CallStates::AnswerNo;
            m_.log.AddLogEntry(QStringLiteral("Call Not Accepted from ") + control.remoteHost());
            CloseClientConnections();
            return;
        }
        const QString name = peerField(text, 3);
        const QString location = peerField(text, 4);
        const QString time = peerField(text, 5);
        s.RemoteUserName = name;
        s.CallState = CallStates::AnswerYes;
        m_.log.AddLogEntry(QStringLiteral("Call Accepted from ") + name + QStringLiteral(", ") +
                           location + QLatin1Char(' ') + control.remoteHost() +
                           QStringLiteral(", ") + time);
        m_.chat.appendIncoming(callLine(name, location, time));
        if (!m_.endpoints.ipdControl.connected(1)) ring(); // not a call to oneself
        control.dataToSend(capabilityMessage(m_.settings.EnableRTC));
        ConnectMedia(control.remoteHost());
    } else if (command == "UIF") {
        if (GetField(text, 2) == wire(ProtocolVersion)) {
            s.peerVersion = true;
            s.realTime = GetField(text, 3) == "True";
        }
    } else if (command == "BSY") {
        s.CallState = CallStates::Busy;
        m_.log.AddLogEntry(QStringLiteral("User at ") + control.remoteHost() +
                           QStringLiteral(" busy."));
        CloseClientConnections();
    }
}

void CallSignalling::onControlDisconnected()
{
    CallSession &s = m_.session;
    // A call the user cancelled stays cancelled when its connection then closes.
    if (s.CallState != CallStates::Busy && s.CallState != CallStates::AnswerNo &&
        s.CallState != CallStates::Cancelled)
        s.CallState = CallStates::NoAnswer;
    s.mediaState = MediaStates::None;
}

void CallSignalling::ConnectMedia(const QString &host)
{
    if (host.trimmed().isEmpty()) return;
    IPPort &client = m_.endpoints.ippClient;
    client.setConnected(false);
    client.setRemotePort(quint16(m_.endpoints.ippControl.remotePort() + 1));
    if (const EndpointError e = client.setRemoteHost(host)) {
        m_.messages.showInfoMessage(QStringLiteral("You have entered an invalid Host Address: ") +
                                    QString::number(e.number) + QLatin1Char(' ') + e.description);
        return;
    }
    client.setConnected(true);
}

// ---- called side --------------------------------------------------------------------------

void CallSignalling::onListenerData(int id, const QByteArray &text)
{
    const QByteArray command = text.left(3);
    if (command == "RQC")
        onRequest(id, text);
    else if (command == "UIF")
        onCapability(id, text);
}

void CallSignalling::onRequest(int id, const QByteArray &text)
{
    if (CountFields(text) != 4) return;
    IPDaemon &control = m_.endpoints.ipdControl;
    const QString name = peerField(text, 2);
    const QString location = peerField(text, 3);
    const QString time = peerField(text, 4);
    m_.session.RemoteUserName = name;
    if (BusyCheck(id)) {
        m_.incoming.ShowBusyNotice(name, location);
        ring();
        if (control.connected(id)) control.dataToSend(id, "BSY");
        m_.log.AddLogEntry(QStringLiteral("Sent busy to :") + name + QStringLiteral(", ") +
                           location + QLatin1Char(' ') + control.remoteHost(id));
        return;
    }
    m_.incoming.OpenCallPrompt(name, location);
    ring();
    m_.log.AddLogEntry(QStringLiteral("Received Call from ") + name + QStringLiteral(", ") +
                       location + QLatin1Char(' ') + control.remoteHost(id) + QStringLiteral(", ") +
                       time);
    m_.chat.appendIncoming(callLine(name, location, time));
}

void CallSignalling::onCapability(int id, const QByteArray &text)
{
    CallSession &s = m_.session;
    if (GetField(text, 2) == wire(ProtocolVersion)) {
        s.peerVersion = true;
        s.realTime = GetField(text, 3) == "True" && m_.settings.EnableRTC;
    }
    m_.endpoints.ipdControl.dataToSend(id, capabilityMessage(s.realTime));
}

void CallSignalling::onListenerDisconnected(int id)
{
    if (id == 1 && m_.session.mediaState == MediaStates::None) m_.session.acceptedIncoming = false;
}

// ---- hanging up ---------------------------------------------------------------------------

void CallSignalling::hangUp()
{
    if (m_.endpoints.ipdQvid.connected(1))
        CloseServedConnection(1);
    else if (m_.endpoints.ippClient.connected())
        CloseClientConnections();
}

void CallSignalling::CloseServedConnection(int n)
{
    m_.endpoints.ipdQvid.setConnected(n, false);
    m_.endpoints.ipdControl.setConnected(n, false);
    m_.chat.closeServed(n);
}

void CallSignalling::CloseClientConnections()
{
    m_.endpoints.ippClient.setConnected(false);
    m_.endpoints.ippControl.setConnected(false);
    m_.chat.closeClient();
}

void CallSignalling::sweepStrayConnections()
{
    IPDaemon &control = m_.endpoints.ipdControl;
    const QList<int> ids = control.connectionIds();
    for (int id : ids) {
        const bool carriesCall =
            id == 1 && (m_.incoming.promptOpen() || m_.session.acceptedIncoming ||
                        m_.session.mediaState != MediaStates::None);
        if (!carriesCall && control.connectionAge(id) > m_strayMs) control.setConnected(id, false);
    }
}
