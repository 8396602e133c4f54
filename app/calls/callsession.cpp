// Transitions of the call state.
#include "callsession.h"

void CallSession::setCallState(qint16 state)
{
    if (m_callState == state) return;
    m_callState = state;
    emit callStateChanged(state);
}

void CallSession::setMedia(MediaState state)
{
    if (m_media == state) return;
    m_media = state;
    emit mediaStateChanged(state);
}

void CallSession::reset()
{
    setMedia(MediaState::None);
    m_acceptedIncoming = false;
}

void CallSession::placing()
{
    m_failure = {};
    setCallState(CallStates::Establishing);
}

void CallSession::lookingUpEmail()
{
    m_failure = {};
    setCallState(CallStates::LookingUpEmail);
}

void CallSession::emailNotFound()
{
    setCallState(CallStates::EmailNotFound);
}

void CallSession::requesting()
{
    setCallState(CallStates::Requesting);
}

void CallSession::answered(bool yes)
{
    setCallState(yes ? CallStates::AnswerYes : CallStates::AnswerNo);
}

void CallSession::busy()
{
    setCallState(CallStates::Busy);
}

void CallSession::cancelled()
{
    setCallState(CallStates::Cancelled);
}

void CallSession::notAnswered()
{
    setCallState(CallStates::NoAnswer);
}

void CallSession::controlClosed()
{
    // A call the user cancelled stays cancelled when its connection then closes.
    if (m_callState != CallStates::Busy && m_callState != CallStates::AnswerNo &&
        m_callState != CallStates::Cancelled)
        setCallState(CallStates::NoAnswer);
    setMedia(MediaState::None);
}

void CallSession::fail(const CallFailure &why)
{
    m_failure = why;
    emit failed(why);
}

void CallSession::setRemoteUserName(const QString &name)
{
    m_remoteUserName = name;
}

void CallSession::setCapabilities(bool peerVersion, bool realTime)
{
    m_peerVersion = peerVersion;
    m_realTime = realTime;
}

void CallSession::acceptedHere()
{
    m_acceptedIncoming = true;
}

void CallSession::incomingControlClosed()
{
    if (m_media == MediaState::None) m_acceptedIncoming = false;
}

void CallSession::mediaRequested()
{
    setMedia(MediaState::Requested);
}

void CallSession::callEntered()
{
    setMedia(MediaState::Established);
}

void CallSession::callEnded()
{
    setMedia(MediaState::None);
    m_acceptedIncoming = false;
}
