// The media connection of a call and the main timer that drives a call: entering and ending the
// call on both sides, the call clock, the activity animation, the start-up call and the queue of
// chat lines that go out as "TXT" packets.
#pragma once

#include "calls/callclock.h"
#include "calls/textqueue.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

struct CallSession;
struct Endpoints;
struct Settings;
class ActivityLog;
class ChatLink;
class SoundPlayer;

// Largest text payload sent in a "TXT" packet.
constexpr qsizetype MaxTextPayload = 28000;
// A media packet: tag, payload length as five digits, payload, "<E>".
QByteArray mediaPacket(const char *tag, QByteArray payload);

class MediaSession : public QObject
{
    Q_OBJECT
public:
    static constexpr int TickMs = 75;
    static constexpr int AnimationFrames = 8;

    struct Deps {
        Settings &settings;
        CallSession &session;
        Endpoints &endpoints;
        ChatLink &chat;
        ActivityLog &log;
        SoundPlayer &sounds;
    };
    explicit MediaSession(const Deps &deps, QObject *parent = nullptr);

    // Resets the session state at start-up.
    void InitMediaEngine();
    void startTimer() { m_timer.start(); }
    void stopTimer() { m_timer.stop(); }
    // One tick of the main timer.
    void tick();

    // Placed as a call on the next tick, then cleared (the command-line address).
    QString startupCallTarget;
    std::function<void(const QString &address)> placeStartupCall;

    CallClock &clock() { return m_clock; }
    int animationFrame() const { return m_frame; }
    TextQueue &textQueue() { return m_text; }
    bool inCall() const;

    void EndMediaSession();

signals:
    void callEntered();
    void callEnded();
    void animationFrameChanged(int frame);
    // The data-rates figures went back to "0.0".
    void figuresReset();

private:
    void onServedRequest(bool *accept);
    void onServedConnected(int id, int status);
    void onClientConnected(int status);
    void enterCall();
    void endCall(const QString &remoteHost);
    void sendText();

    Deps m_;
    QTimer m_timer;
    CallClock m_clock;
    TextQueue m_text;
    int m_frame = 0;
    int m_tickCount = 0;
    QElapsedTimer m_clockBase;
    qint64 m_nextSecond = 0;
};
