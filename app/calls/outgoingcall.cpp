// Placing calls and the progress window's model.
#include "outgoingcall.h"

#include "calls/callsession.h"
#include "calls/callsignalling.h"
#include "calls/mediasession.h"
#include "platform/netaddress.h"
#include "platform/usermessages.h"

OutgoingCall::OutgoingCall(CallSession &session, CallSignalling &signalling, MediaSession &media,
                           CallDirectory &directory, UserMessages &messages, QObject *parent)
    : QObject(parent), m_session(session), m_signalling(signalling), m_media(media),
      m_directory(directory), m_messages(messages)
{
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &OutgoingCall::tick);
}

void OutgoingCall::placeCall(const QString &address, int port, int entry)
{
    const QString trimmed = address.trimmed();
    if (trimmed.isEmpty()) {
        m_messages.showInfoMessage(QStringLiteral(
            "Select a user on the list or enter an E-Mail or IP Address to place a call."));
        return;
    }
    if (trimmed.contains(QLatin1Char('@'))) {
        // E-mail addresses are looked up on the directory server.
        if (!m_directory.connected()) {
            m_messages.showInfoMessage(
                QStringLiteral("The directory server is not connected, so the e-mail address "
                               "cannot be looked up. Open the directory to connect to it, or "
                               "call an IP address or host name."));
            return;
        }
        m_session.lookingUpEmail();
        openWindow(trimmed, QStringLiteral("Unknown"));
        m_directory.lookUpEmail(trimmed);
        return;
    }

    m_session.placing();
    if (entry > 0) {
        QString name, location;
        m_directory.entry(entry, &name, &location);
        openWindow(name, location);
    } else if (entry == 0) {
        openWindow(QStringLiteral("Unknown"), address);
    }

    if (const EndpointError e = m_signalling.connectControl(address, quint16(port))) {
        m_messages.showInfoMessage(QStringLiteral("You have entered an invalid Host Address: ") +
                                   QString::number(e.number) + QLatin1Char(' ') + e.description);
        m_session.cancelled();
    }
}

bool OutgoingCall::awaitingEmail() const
{
    return m_open && m_session.callState() == CallStates::LookingUpEmail;
}

bool OutgoingCall::emailFound(const QString &name, const QString &location, const QString &address,
                              qint16 port)
{
    if (!awaitingEmail()) return false;
    setUser(name, location);
    placeCall(address, port, -1);
    return true;
}

bool OutgoingCall::emailNotFound()
{
    if (!awaitingEmail()) return false;
    m_session.emailNotFound();
    return true;
}

void OutgoingCall::callTyped(const QString &target)
{
    QString host;
    quint16 port = DefaultBasePort;
    NetAddress::splitTarget(target, &host, &port);
    placeCall(host, port, 0);
}

void OutgoingCall::openWindow(const QString &name, const QString &location)
{
    const bool wasOpen = m_open;
    m_name = name;
    m_location = location;
    if (!wasOpen) {
        // Loading the window.
        m_open = true;
        m_status = EstablishingText;
        m_reason.clear();
        m_cancelText = QStringLiteral("Cancel");
        m_secondsText.clear();
        m_quarter = 0;
        m_seconds = 0;
        m_frame = 0;
        m_timer.start();
    }
    if (!wasOpen) emit windowOpened();
    emit changed();
}

void OutgoingCall::setUser(const QString &name, const QString &location)
{
    m_name = name;
    m_location = location;
    emit changed();
}

void OutgoingCall::closeWindow()
{
    if (!m_open) return;
    m_open = false;
    m_timer.stop();
    emit windowClosed();
}

void OutgoingCall::tick()
{
    if (!m_open) return;
    bool idle = false;
    switch (m_session.callState()) {
    case CallStates::Establishing:
        m_status = EstablishingText;
        break;
    case CallStates::Requesting:
        m_status = QStringLiteral("Connection Made...Requesting");
        break;
    case CallStates::AnswerNo:
        m_status = QStringLiteral("Connection Response is NO");
        m_cancelText = QStringLiteral("OK");
        break;
    case CallStates::AnswerYes:
        m_status = QStringLiteral("Connection Response is YES");
        break;
    case CallStates::Busy:
        m_status = QStringLiteral("Busy");
        m_cancelText = QStringLiteral("OK");
        break;
    case CallStates::Cancelled:
        closeWindow();
        return;
    case CallStates::NoAnswer:
        m_status = QStringLiteral("Did Not Answer");
        m_cancelText = QStringLiteral("OK");
        break;
    case CallStates::LookingUpEmail:
        m_status = QStringLiteral("Looking up Email Address");
        break;
    case CallStates::EmailNotFound:
        m_status = QStringLiteral("Email address not found");
        m_cancelText = QStringLiteral("OK");
        idle = true;
        break;
    default:
        break;
    }
    // Only an ended call has a reason: a connection of another call that fails meanwhile is
    // not this call's.
    const qint16 state = m_session.callState();
    const bool ended =
        state == CallStates::AnswerNo || state == CallStates::Busy || state == CallStates::NoAnswer;
    m_reason = ended ? m_session.failure().text() : QString();

    if (m_quarter == 3) {
        m_quarter = 0;
        ++m_seconds;
        m_secondsText = idle ? QStringLiteral("IDLE") : QString::number(m_seconds) + " sec";
    } else {
        ++m_quarter;
    }
    // An idle window finishes the current turn of the animation and stops on its first frame.
    if (!(idle && m_frame == 0)) m_frame = (m_frame + 1) % AnimationFrames;
    emit changed();

    if (m_media.clientConnected()) closeWindow();
}

void OutgoingCall::cancel()
{
    m_session.cancelled();
    // A connection still being made is abandoned too, so the callee is never asked.
    m_signalling.abandonControl();
    closeWindow();
}
