// The media connection of a call and the main timer that drives it: the media listener on base
// port + 1 and the media client to a peer's, entering and ending the call on both sides, what
// leaves on each 75 ms tick (at most one chat line, one speech block and one picture, the picture
// only while the link keeps up with them: LinkPacer), what
// arrives (pictures drawn by the video engine, speech queued for the speaker, chat lines), the
// call clock, the activity animation and the data-rates figures.
#pragma once

#include "calls/callclock.h"
#include "calls/linkpacer.h"
#include "media/audiopath.h"
#include "media/ringqueue.h"
#include "media/videopath.h"
#include "platform/endpointerror.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSize>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ActivityLog;
class AudioEngine;
class CallSession;
class ChatConversation;
class ChatLink;
class LineClient;
class LineListener;
class PictureTarget;
class SoundPlayer;
class Transports;
class UserMessages;
class VideoEngine;
struct Settings;

class MediaSession : public QObject
{
    Q_OBJECT
public:
    static constexpr int TickMs = 75;
    static constexpr int AnimationFrames = 8;
    static constexpr int PayloadBytes = 29000;
    static constexpr int MediaPortOffset = 1;

    struct Deps {
        Settings &settings;
        CallSession &session;
        ChatConversation &chat;
        ChatLink &chatLink;
        ActivityLog &log;
        SoundPlayer &sounds;
        UserMessages &messages;
        Transports &transports;
        VideoEngine &videoEngine;
        AudioEngine &audioEngine;
        AudioPath &audio;
        VideoPath &video;
    };
    explicit MediaSession(const Deps &deps, QObject *parent = nullptr);
    ~MediaSession() override;

    // Where received pictures are drawn (the incoming video window); set before start-up.
    void setIncomingTarget(PictureTarget *target) { m_incomingTarget = target; }
    // Start-up of the session state and both engines.
    void initMediaEngine();
    // Listens on base port + 1; the error is for the "Listen Daemon 2" message.
    EndpointError start(quint16 basePort);
    // Shutdown: closes the call's media connections and stops listening.
    void shutDown();
    quint16 listeningPort() const;
    // Shutdown of the engines.
    void shutDownEngines();
    void startTimer() { m_timer.start(); }
    void stopTimer() { m_timer.stop(); }
    bool timerActive() const { return m_timer.isActive(); }
    // The main timer itself, for what must hold it up for a moment (a message's picture).
    QTimer &mainTimer() { return m_timer; }
    // One tick of the main timer.
    void tick();
    // The self view's load: capture starts with its preview on `preview`.
    void startCapture(PictureTarget *preview);
    // Push-to-talk.
    void talk(bool on);

    // Placed as a call on the next tick, then cleared (the command-line address).
    void setStartupCall(const QString &target) { m_startupCall = target; }
    QString startupCall() const { return m_startupCall; }

    AudioPath &audio() { return m_audio; }
    const AudioPath &audio() const { return m_audio; }
    VideoPath &video() { return m_video; }
    const VideoPath &video() const { return m_video; }
    CallClock &clock() { return m_clock; }
    int animationFrame() const { return m_frame; }
    TextQueue &textQueue() { return m_text; }
    bool inCall() const;
    QSize incomingPictureSize() const { return m_incomingSize; }
    // The parser's result for the last picture packet on the calling side's media connection.
    int lastPictureValue() const { return m_lastPictureValue; }

    // The calling side's media connection to host:port.
    EndpointError connectTo(const QString &host, quint16 port);
    bool clientConnected() const;
    bool servedConnected() const;
    void closeClient();
    void closeServed(int id);
    // While more than this waits to go out on a media connection, nothing more is taken.
    void setSendCap(qint64 bytes);
    // The call's media connections from now on: over TLS with these settings, or in the clear.
    void setEncryption(const std::optional<QSslConfiguration> &tls);
    // Decides whether a media connection that is up may start the call: it is given the peer's
    // certificate (null in the clear) and answers, now or later, through the function it gets.
    // Until then the call is held: nothing is sent and what arrives is dropped.
    using Admission =
        std::function<void(const QSslCertificate &peer, std::function<void(bool go)> answer)>;
    void setAdmission(Admission admission) { m_admission = std::move(admission); }
    bool held() const { return m_held; }

    // What crossed during the current (or last) call.
    struct Totals {
        qint64 picturesIn = 0, picturesOut = 0, bytesIn = 0, bytesOut = 0;
        int linesIn = 0, blocksIn = 0, blocksOut = 0;
        qint64 startedMs = 0, endedMs = 0;
        double cpuStart = 0, cpuEnd = 0; // this process's processor seconds
        // When each picture left (its capture) and when each arriving one was drawn; when each
        // speech block sent was recorded and when each arriving one came in.
        std::vector<qint64> sentCaptureMs, drawnMs, sentSpeechMs, arrivedSpeechMs;
        qint64 picturesHeldBack = 0; // ticks on which the link was too full for a picture
    };
    const Totals &totals() const { return m_totals; }

signals:
    void callEntered();
    // The call has ended; totals() holds what crossed.
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
    // The start-up call is due.
    void startupCallDue(const QString &target);
    // A media connection could not be made: the call's other connections are let go.
    void connectFailed();
    // Each tick of the options' audio test: the write index of the queue it records into.
    void audioTestProgress(int writeIndex);
    // The admission said no: the call's connections are to be closed.
    void admissionRefused();

private:
    void onServedRequest(bool *accept);
    void onServedConnected(int id, int status);
    void onClientConnected(int status, const QString &description);
    void enterCall();
    void admitThenEnter(const QSslCertificate &peer, std::function<void()> enter);
    void endCall(const QString &remoteHost, int status, const QString &description);
    void endMediaSession();
    void fiveSecondTick(qint64 now);
    void callTick(qint64 now, bool grabbedBefore);
    qint64 sendMediaPacket(const QByteArray &packet);
    qint64 bytesWaiting() const;
    void onMediaData(const QByteArray &text, bool endOfLine, bool fromClient);
    bool sendText();
    void sendAudio();
    void sendPicture();
    void pacePictures(qint64 now);

    Deps m_deps;
    std::unique_ptr<LineListener> m_listener; // base port + 1, "<E>" per connection
    std::unique_ptr<LineClient> m_client;     // a peer's base port + 1, "<E>"
    AudioPath &m_audio;
    VideoPath &m_video;
    QTimer m_timer;
    CallClock m_clock;
    TextQueue m_text;
    QString m_startupCall;
    PictureTarget *m_incomingTarget = nullptr;
    bool m_videoEngine = false;
    std::vector<uint8_t> m_payload;
    QSize m_incomingSize{VideoPath::Width, VideoPath::Height};
    int m_lastPictureValue = 0;
    int m_frame = 0;
    int m_tickCount = 0;
    qint64 m_framesIn = 0, m_framesOut = 0, m_bytesIn = 0, m_bytesOut = 0;
    QElapsedTimer m_clockBase;
    qint64 m_nextSecond = 0, m_nextFive = 0, m_nextTen = 0;
    Totals m_totals;
    LinkPacer m_pacer;
    qint64 m_lastPaceMs = 0;
    bool m_picturePaced = true; // the link may take a picture this tick
    bool m_grabbedLastTick = false;
    Admission m_admission;
    bool m_held = false;
    int m_admissionSerial = 0; // an answer for an earlier connection is dropped
};
