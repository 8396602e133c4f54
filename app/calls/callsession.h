// The state of calls that the signalling, the media session and the windows share: the progress
// of the outgoing call (CallState), the media connection's state, the peer of the current call
// and what the two programs agreed on. Every change goes through one of the transitions below,
// each named after the event that causes it.
#pragma once

#include "calls/callfailure.h"

#include <QObject>
#include <QString>

// Values of CallState, the progress of the current outgoing call.
namespace CallStates
{
constexpr qint16 Idle = 0;
constexpr qint16 Establishing = 1;
constexpr qint16 Requesting = 2;
constexpr qint16 AnswerNo = 3;
constexpr qint16 AnswerYes = 4;
constexpr qint16 Busy = 5;
constexpr qint16 Cancelled = 6;
constexpr qint16 NoAnswer = 8;
constexpr qint16 LookingUpEmail = 9;
constexpr qint16 EmailNotFound = 10;
} // namespace CallStates

// The media connection: none, an incoming one requested, established.
enum class MediaState { None = 0, Requested = 1, Established = 2 };

class CallSession : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    qint16 callState() const { return m_callState; }
    MediaState mediaState() const { return m_media; }
    bool inCall() const { return m_media == MediaState::Established; }
    QString remoteUserName() const { return m_remoteUserName; }
    // The peer's capability record carried our version; both sides have real-time chat on.
    bool peerVersion() const { return m_peerVersion; }
    bool realTime() const { return m_realTime; }
    // The call announced on control connection 1 was accepted here, so its media and text
    // connections are expected.
    bool acceptedIncoming() const { return m_acceptedIncoming; }
    // Why the last outgoing call failed; cleared when the next one is placed.
    const CallFailure &failure() const { return m_failure; }

    // Start-up: no call, no media.
    void reset();

    // The outgoing call.
    void placing();        // the control connection is being made
    void lookingUpEmail(); // the directory is asked for the callee's address
    void emailNotFound();  // the directory does not know the address
    void requesting();     // the control connection is up; the request went out
    void answered(bool yes);
    void busy();
    void cancelled();   // by the user, or an address that cannot be called
    void notAnswered(); // no connection could be made
    // The control connection closed: a call that had no answer yet was not answered, and there
    // is no media connection any more.
    void controlClosed();
    // Records why the call failed (beside the state change that says that it did).
    void fail(const CallFailure &why);

    // The peer.
    void setRemoteUserName(const QString &name);
    void setCapabilities(bool peerVersion, bool realTime);

    // The incoming call.
    void acceptedHere();
    // Control connection 1 closed before its media connection came.
    void incomingControlClosed();

    // The media connection.
    void mediaRequested();
    void callEntered();
    void callEnded();

signals:
    void callStateChanged(qint16 state);
    void mediaStateChanged(MediaState state);
    void failed(const CallFailure &why);

private:
    void setCallState(qint16 state);
    void setMedia(MediaState state);

    qint16 m_callState = CallStates::Idle;
    MediaState m_media = MediaState::None;
    QString m_remoteUserName;
    CallFailure m_failure;
    bool m_peerVersion = false;
    bool m_realTime = false;
    bool m_acceptedIncoming = false;
};
