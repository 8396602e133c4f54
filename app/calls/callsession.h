// Program-wide state of calls: the progress of the outgoing call, the peer of the current call
// and the media-session flags that the signalling, the windows and the main timer share.
#pragma once

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

// Media state: 0 no media connection, 1 an incoming one requested, 2 established.
namespace MediaStates
{
constexpr int None = 0;
constexpr int Requested = 1;
constexpr int Established = 2;
} // namespace MediaStates

inline const QString ProtocolVersion = QStringLiteral("2.5");

struct CallSession {
    qint16 CallState = CallStates::Idle;
    quint16 BasePort = 2000;
    QString RemoteUserName;
    bool peerVersion = false; // the peer's capability record carried our version
    bool realTime = false;    // both sides have real-time chat enabled
    int mediaState = MediaStates::None;
    int speakerState = 1;    // 1 closed, 3 open
    int microphoneState = 1; // 1 off, 2 recording
    // The call announced on control connection 1 has been accepted here, so its media and text
    // connections are expected.
    bool acceptedIncoming = false;

    bool audioIdle() const { return speakerState == 1 && microphoneState == 1; }
};
