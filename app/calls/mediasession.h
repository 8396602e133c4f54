// The media connection of a call and the main timer that drives it: entering and ending the call
// on both sides, what leaves on each 75 ms tick (at most one chat line, one speech block and one
// picture), what arrives (pictures drawn by the video engine, speech queued for the speaker,
// chat lines), the call clock, the activity animation and the data-rates figures.
#pragma once

#include "calls/audiopath.h"
#include "calls/callclock.h"
#include "calls/ringqueue.h"
#include "calls/videopath.h"
#include "qvdlldef.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSize>
#include <QTimer>

#include <functional>
#include <vector>

struct CallSession;
struct Endpoints;
struct Settings;
struct RXVDrawSurface;
class ActivityLog;
class ChatLink;
class SoundPlayer;
class UserMessages;

// Largest text payload sent in a "TXT" packet: the peer's payload buffer holds 29,000 bytes.
constexpr qsizetype MaxTextPayload = 28000;
// Largest payload the five-digit length field can carry.
constexpr qsizetype MaxPayload = 99999;
// A media packet: tag, payload length as five digits, payload, "<E>"; empty when the payload is
// too long for the length field.
QByteArray mediaPacket(const char *tag, const QByteArray &payload);

class MediaSession : public QObject
{
    Q_OBJECT
public:
    static constexpr int TickMs = 75;
    static constexpr int AnimationFrames = 8;
    static constexpr int PayloadBytes = 29000;

    struct Deps {
        Settings &settings;
        CallSession &session;
        Endpoints &endpoints;
        ChatLink &chat;
        ActivityLog &log;
        SoundPlayer &sounds;
        UserMessages &messages;
    };
    explicit MediaSession(const Deps &deps, QObject *parent = nullptr);
    ~MediaSession() override;

    // Where received pictures are drawn (the incoming video window); set before start-up.
    void setIncomingSurface(RXVDrawSurface *surface) { m_incomingSurface = surface; }
    // Start-up of the session state and both engines.
    void InitMediaEngine();
    // Shutdown of the engines.
    void shutDownEngines();
    void startTimer() { m_timer.start(); }
    void stopTimer() { m_timer.stop(); }
    bool timerActive() const { return m_timer.isActive(); }
    // One tick of the main timer.
    void tick();
    // The self view's load: capture starts in its capture area.
    void startCapture(RXVDrawSurface *parent);
    // Push-to-talk.
    void talk(bool on);

    // Placed as a call on the next tick, then cleared (the command-line address).
    QString startupCallTarget;
    std::function<void(const QString &address)> placeStartupCall;

    AudioPath audio;
    VideoPath video;

    CallClock &clock() { return m_clock; }
    int animationFrame() const { return m_frame; }
    TextQueue &textQueue() { return m_text; }
    bool inCall() const;
    QSize incomingPictureSize() const { return m_incomingSize; }
    // The result of the last picture packet on the calling side's media connection.
    int lastPictureValue() const { return m_lastPictureValue; }

    // Sends on whichever media endpoint is up; bytes taken (0 when none is up or it is full).
    qint64 SendMediaPacket(const QByteArray &packet);
    // Handles one delivery of a media endpoint (a packet without "<E>", or a chunk).
    void OnMediaData(const QByteArray &text, bool endOfLine, bool fromClient);
    void EndMediaSession();

    // What crossed during the current (or last) call.
    struct Totals {
        qint64 picturesIn = 0, picturesOut = 0, bytesIn = 0, bytesOut = 0;
        int linesIn = 0, blocksIn = 0, blocksOut = 0;
        qint64 startedMs = 0, endedMs = 0;
        double cpuStart = 0, cpuEnd = 0; // this process's processor seconds
        // When each picture left (its capture) and when each arriving one was drawn.
        std::vector<qint64> sentCaptureMs, drawnMs;
    };
    const Totals &totals() const { return m_totals; }

signals:
    void callEntered();
    void callEnded();
    void animationFrameChanged(int frame);
    // The data-rates figures: pictures per second in and out, bits per second in and out.
    void figures(const QString &fpsIn, const QString &fpsOut, const QString &bpsIn,
                 const QString &bpsOut);
    void captureRate(const QString &fps);
    void figuresReset();
    // A received picture has a new width: the incoming video window follows it.
    void incomingPictureResized(int width, int height);
    // The 5-second step: the self view may follow the main window.
    void fiveSecondStep();

private:
    void onServedRequest(bool *accept);
    void onServedConnected(int id, int status);
    void onClientConnected(int status);
    void enterCall();
    void endCall(const QString &remoteHost);
    void fiveSecondTick(qint64 now);
    void callTick(qint64 now);
    bool sendText();
    void sendAudio();
    void sendPicture();
    void writeCallReport() const;
    void tickSteps();
    void handleMediaData(const QByteArray &text, bool endOfLine, bool fromClient);
    void stopEngines();
    // An engine call failed because the engine or one of its functions is missing.
    void engineFailure(const EngineError &e);
    template <typename F> void guarded(F &&f)
    {
        try {
            f();
        } catch (const EngineError &e) {
            engineFailure(e);
        }
    }

    Deps m_;
    QTimer m_timer;
    CallClock m_clock;
    TextQueue m_text;
    RXVDrawSurface *m_incomingSurface = nullptr;
    struct RXVDrawDib *m_drawDib = nullptr;
    bool m_videoEngine = false;
    bool m_videoFailureShown = false, m_audioFailureShown = false;
    std::vector<uint8_t> m_payload;
    QSize m_incomingSize{320, 240};
    int m_lastPictureValue = 0;
    int m_frame = 0;
    int m_tickCount = 0;
    qint64 m_framesIn = 0, m_framesOut = 0, m_bytesIn = 0, m_bytesOut = 0;
    QElapsedTimer m_clockBase;
    qint64 m_nextSecond = 0, m_nextFive = 0, m_nextTen = 0;
    Totals m_totals;
};
