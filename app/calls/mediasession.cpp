// The media connection and the main timer.
#include "mediasession.h"

#include "calls/callsession.h"
#include "chatconversation.h"
#include "chatlink.h"
#include "media/audioengine.h"
#include "media/videoengine.h"
#include "platform/linetransport.h"
#include "platform/monotonicclock.h"
#include "platform/soundplayer.h"
#include "protocol/mediapacket.h"
#include "userdata/activitylog.h"
#include "userdata/settings.h"

#include "rxvlib11.h" // the kinds of packet the engine's parser reports

#include <sys/resource.h>

namespace
{
// Picture timings kept per call for the report (about 25 minutes at 13 pictures a second, so the
// flood benchmark's whole call is covered; at most 320 KB).
constexpr size_t MaxTimings = 20000;
// Received speech waiting beyond this many blocks is played even while the speaker is closed.
constexpr int SpeechBacklog = 4;
// The compression type the program asks the video engine for.
constexpr int StillCompression = 6;

double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

MediaSession::MediaSession(const Deps &deps, QObject *parent)
    : QObject(parent), m_deps(deps), m_listener(deps.transports.listener()),
      m_client(deps.transports.client()), m_audio(deps.audio), m_video(deps.video),
      m_payload(PayloadBytes)
{
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &MediaSession::tick);
    m_clockBase.start();

    m_client->setEol(MediaPacket::Terminator);
    connect(m_listener.get(), &LineListener::connectionRequest, this,
            &MediaSession::onServedRequest);
    connect(m_listener.get(), &LineListener::connectionAccepted, this,
            [this](int id, int status) { onServedConnected(id, status); });
    connect(m_listener.get(), &LineListener::disconnected, this,
            [this](int id, int status, const QString &description) {
                endCall(m_listener->remoteHost(id), status, description);
            });
    connect(m_client.get(), &LineClient::connectFinished, this, &MediaSession::onClientConnected);
    connect(m_client.get(), &LineClient::disconnected, this,
            [this](int status, const QString &description) {
                endCall(m_client->remoteHost(), status, description);
            });
    connect(m_listener.get(), &LineListener::dataIn, this,
            [this](int, const QByteArray &text, bool eol) { onMediaData(text, eol, false); });
    connect(m_client.get(), &LineClient::dataIn, this,
            [this](const QByteArray &text, bool eol) { onMediaData(text, eol, true); });

    // Without an engine the program runs on, without pictures or without sound.
    connect(&m_deps.videoEngine, &VideoEngine::failed, this, [this] {
        m_videoEngine = false;
        m_video.setEngineReady(false);
        m_video.forgetCapture();
    });
    connect(&m_deps.audioEngine, &AudioEngine::failed, this,
            [this] { m_audio.setAvailable(false); });
}

MediaSession::~MediaSession() = default;

void MediaSession::initMediaEngine()
{
    m_text.reset();
    m_audio.reset();
    m_framesIn = m_framesOut = m_bytesIn = m_bytesOut = 0;
    m_deps.session.reset();
    m_incomingSize = QSize(VideoPath::Width, VideoPath::Height);

    VideoEngine &video = m_deps.videoEngine;
    m_videoEngine = video.initialize();
    video.setCompType(StillCompression);
    video.startDrawing(m_incomingTarget, VideoPath::Width, VideoPath::Height);
    m_videoEngine = m_videoEngine && video.usable();
    m_video.setEngineReady(m_videoEngine);

    m_deps.audioEngine.startGsm();
    const bool sound = m_deps.audioEngine.hasAudio();
    m_audio.setAvailable(sound && m_deps.audioEngine.usable());
}

EndpointError MediaSession::start(quint16 basePort)
{
    m_listener->setActive(true);
    m_client->setActive(true);
    m_listener->setLocalPort(quint16(basePort + MediaPortOffset));
    return m_listener->setListening(true);
}

void MediaSession::shutDown()
{
    m_client->setConnected(false);
    if (m_listener->connected(1)) m_listener->setConnected(1, false);
    m_listener->setListening(false);
    m_listener->setActive(false);
    m_client->setActive(false);
    m_timer.stop();
}

quint16 MediaSession::listeningPort() const
{
    return m_listener->listening() ? m_listener->localPort() : 0;
}

void MediaSession::startCapture(PictureTarget *preview)
{
    m_video.startCapture(preview);
}

void MediaSession::talk(bool on)
{
    on ? m_audio.switchMicrophoneOn() : m_audio.switchMicrophoneOff();
}

void MediaSession::shutDownEngines()
{
    m_video.closeCapture();
    if (m_videoEngine) {
        m_deps.videoEngine.terminate();
        m_deps.videoEngine.stopDrawing();
        m_videoEngine = false;
        m_video.setEngineReady(false);
    }
    if (m_audio.available()) {
        if (m_audio.microphoneOn()) m_audio.switchMicrophoneOff();
        m_deps.audioEngine.stopGsm();
        m_audio.setAvailable(false);
    }
}

bool MediaSession::inCall() const
{
    return m_deps.session.inCall();
}

EndpointError MediaSession::connectTo(const QString &host, quint16 port)
{
    m_client->setConnected(false);
    m_client->setRemotePort(port);
    if (const EndpointError e = m_client->setRemoteHost(host)) return e;
    return m_client->setConnected(true);
}

bool MediaSession::clientConnected() const
{
    return m_client->connected();
}

bool MediaSession::servedConnected() const
{
    return m_listener->connected(1);
}

void MediaSession::closeClient()
{
    m_client->setConnected(false);
}

void MediaSession::closeServed(int id)
{
    m_listener->setConnected(id, false);
}

void MediaSession::setSendCap(qint64 bytes)
{
    m_listener->setSendCap(bytes);
    m_client->setSendCap(bytes);
}

void MediaSession::setEncryption(const std::optional<QSslConfiguration> &tls)
{
    m_listener->setEncryption(tls);
    m_client->setEncryption(tls);
}

void MediaSession::admitThenEnter(const QSslCertificate &peer, std::function<void()> enter)
{
    if (!m_admission) {
        enter();
        return;
    }
    const int serial = ++m_admissionSerial;
    m_held = true;
    m_admission(peer, [this, serial, enter](bool go) {
        if (serial != m_admissionSerial || !m_held) return;
        m_held = false;
        if (go)
            enter();
        else
            emit admissionRefused();
    });
}

void MediaSession::onServedRequest(bool *accept)
{
    // Media connections come from the peer of the call accepted on control connection 1; a
    // connection from anywhere else, or a second one, would hijack the call.
    CallSession &s = m_deps.session;
    *accept = s.acceptedIncoming() && m_listener->connectionCount() == 0;
    if (*accept) s.mediaRequested();
}

void MediaSession::onServedConnected(int id, int status)
{
    if (status != 0) {
        emit connectFailed();
        return;
    }
    m_listener->setBufferSizes(id, 32768, 16384);
    m_audio.outgoing().reset();
    m_listener->setEol(id, MediaPacket::Terminator);
    admitThenEnter(m_listener->peerCertificate(id), [this] { enterCall(); });
}

void MediaSession::onClientConnected(int status, const QString &description)
{
    if (status != 0) {
        emit connectFailed();
        m_deps.session.notAnswered();
        m_deps.session.fail({CallFailure::Kind::MediaFailed, m_client->remoteHost(),
                             m_client->remotePort(), description});
        return;
    }
    m_deps.chatLink.connectText(m_client->remoteHost(),
                                quint16(m_client->remotePort() - MediaPortOffset));
    m_audio.outgoing().reset();
    m_text.reset();
    admitThenEnter(m_client->peerCertificate(), [this] {
        enterCall();
        m_clock.reset();
        m_deps.log.addLogEntry(QStringLiteral("Placed call to ") + m_client->remoteHost());
    });
}

void MediaSession::enterCall()
{
    m_totals = Totals();
    m_totals.startedMs = m_clockBase.elapsed();
    m_pacer.reset();
    m_pacer.setMaximumDrop(VideoPath::QualitySteps);
    m_lastPaceMs = m_totals.startedMs;
    m_picturePaced = true;
    m_grabbedLastTick = false;
    m_video.setQualityDrop(0);
    m_totals.cpuStart = processorSeconds();
    m_deps.chat.setPeerCaption(m_deps.session.remoteUserName());
    if (m_deps.settings.SendWelcome) m_text.add(m_deps.settings.WelcomeMsg);
    m_deps.session.callEntered();
    emit callEntered();
}

void MediaSession::endCall(const QString &remoteHost, int status, const QString &description)
{
    m_held = false;
    ++m_admissionSerial;
    if (m_audio.idle()) m_deps.sounds.play(QStringLiteral("discon.wav"));
    m_deps.chat.setIdleCaption();
    m_deps.session.callEnded();
    m_clock.reset();
    endMediaSession();
    m_deps.log.addLogEntry(QStringLiteral("Disconnected from ") + remoteHost);
    // A hang-up closes the connection in order; an error means the network or the peer's
    // machine let it go.
    if (status != 0)
        m_deps.session.fail({CallFailure::Kind::DroppedInCall, remoteHost, 0, description});
}

void MediaSession::endMediaSession()
{
    CallSession &s = m_deps.session;
    m_totals.endedMs = m_clockBase.elapsed();
    m_totals.cpuEnd = processorSeconds();
    m_text.reset();
    m_audio.outgoing().reset();
    m_audio.dropIncoming();
    s.setCapabilities(false, false);
    m_framesIn = m_framesOut = m_bytesIn = m_bytesOut = 0;
    emit figuresReset();
    if (m_videoEngine) m_deps.videoEngine.flushEvents();
    m_deps.chat.clearOutgoing();
    m_deps.chat.appendIncoming(QStringLiteral("\r\n<End of Connection>\r\n"));
    s.setRemoteUserName(QString());
    m_incomingSize = QSize(VideoPath::Width, VideoPath::Height);
    emit callEnded();
}

qint64 MediaSession::bytesWaiting() const
{
    if (m_listener->connected(1)) return m_listener->bytesWaiting(1);
    return m_client->connected() ? m_client->bytesWaiting() : 0;
}

qint64 MediaSession::sendMediaPacket(const QByteArray &packet)
{
    qint64 sent = 0;
    if (m_listener->connected(1)) {
        m_listener->dataToSend(1, packet);
        sent = m_listener->bytesSent(1);
    } else if (m_client->connected()) {
        m_client->dataToSend(packet);
        sent = m_client->bytesSent();
    }
    m_bytesOut += sent;
    m_totals.bytesOut += sent;
    return sent;
}

void MediaSession::onMediaData(const QByteArray &text, bool endOfLine, bool fromClient)
{
    if (m_held) return; // not admitted yet
    m_bytesIn += text.size();
    m_totals.bytesIn += text.size();
    const MediaPacket::Header header = MediaPacket::header(text);
    // Chunks of a line too long to hold, and packets that declare nothing, are dropped.
    if (header.declared < 1 || !endOfLine || !m_videoEngine) return;
    int16_t kind = 0;
    const int32_t result = m_deps.videoEngine.processData(
        reinterpret_cast<const uint8_t *>(text.constData()), int32_t(header.length),
        m_payload.data(), PayloadBytes, &kind);
    switch (kind) {
    case RXV_KIND_PICTURE: {
        if (fromClient) m_lastPictureValue = result;
        const QSize size = m_deps.videoEngine.imageSize();
        if (size.width() != m_incomingSize.width()) {
            m_incomingSize = size;
            emit incomingPictureResized(size.width(), size.height());
        }
        ++m_framesIn;
        ++m_totals.picturesIn;
        if (m_totals.drawnMs.size() < MaxTimings)
            m_totals.drawnMs.push_back(MonotonicClock::nowMs());
        break;
    }
    case RXV_KIND_AUDIO:
        if (result > 0) {
            m_audio.receive(m_payload.data(), result);
            ++m_totals.blocksIn;
            if (m_totals.arrivedSpeechMs.size() < MaxTimings)
                m_totals.arrivedSpeechMs.push_back(MonotonicClock::nowMs());
        }
        break;
    case RXV_KIND_TEXT:
        m_deps.chat.appendReceivedLine(MediaPacket::textOf(text, header));
        ++m_totals.linesIn;
        break;
    default:
        break;
    }
}

void MediaSession::tick()
{
    if (!m_startupCall.isEmpty()) {
        const QString target = m_startupCall;
        m_startupCall.clear();
        emit startupCallDue(target);
    }

    // The activity animation moves every second tick during a call, and after one until it is
    // back at its first picture.
    ++m_tickCount;
    if ((m_tickCount % 2) == 0 &&
        (m_deps.session.mediaState() != MediaState::None || m_frame != 0)) {
        m_frame = (m_frame + 1) % AnimationFrames;
        emit animationFrameChanged(m_frame);
    }

    m_audio.pollSpeaker();
    const qint64 now = m_clockBase.elapsed();
    if (now >= m_nextFive) fiveSecondTick(now);

    if (m_audio.recordedWaiting()) m_audio.collectAudio();
    if (!inCall() && !m_audio.recordingForMessage && !m_audio.audioTest) m_audio.outgoing().reset();
    if (m_audio.audioTest) emit audioTestProgress(m_audio.outgoing().writeIndex());

    // A picture is grabbed only while no speech waits (speech goes first) and, in a call, while
    // the link keeps up; it is sent on the next tick.
    if (inCall())
        pacePictures(now);
    else
        m_picturePaced = true;
    const bool grab = m_video.cameraOn() && m_video.captureAvailable() &&
                      m_audio.outgoing().empty() && m_picturePaced;
    if (grab) m_video.grab();
    const bool grabbedBefore = m_grabbedLastTick;
    m_grabbedLastTick = grab;

    if (!inCall()) {
        m_nextSecond = now + 1000;
        m_nextTen = now + 10000;
        return;
    }
    callTick(now, grabbedBefore);
}

void MediaSession::pacePictures(qint64 now)
{
    m_pacer.observe(bytesWaiting(), int(now - m_lastPaceMs), m_audio.microphoneOn());
    m_lastPaceMs = now;
    m_picturePaced = m_pacer.pictureAllowed();
    m_totals.picturesHeldBack = m_pacer.heldBack();
    m_video.setQualityDrop(m_pacer.qualityDrop());
}

void MediaSession::fiveSecondTick(qint64 now)
{
    m_nextFive = now + 5000;
    emit captureRate(QString::number(m_video.captureRateStep(5.0)));
    emit fiveSecondStep();
    m_video.captureSizeStep();
}

void MediaSession::callTick(qint64 now, bool grabbedBefore)
{
    if (m_audio.incomingWaiting() > SpeechBacklog || m_audio.speakerOpen()) m_audio.playAudio();
    if (now >= m_nextSecond) {
        m_nextSecond = now + 1000;
        m_clock.tick();
    }
    if (now >= m_nextTen) {
        m_nextTen = now + 10000;
        emit figures(QString::number(m_framesIn / 10.0), QString::number(m_framesOut / 10.0),
                     QString::number(m_bytesIn * 8 / 10), QString::number(m_bytesOut * 8 / 10));
        m_framesIn = m_framesOut = m_bytesIn = m_bytesOut = 0;
    }
    // A chat line that could not go out is retried on the next tick, before anything else.
    if (!sendText()) return;
    sendAudio();
    // Only a picture grabbed on the last tick, so none that waited for the link goes out late.
    if (grabbedBefore && m_picturePaced) sendPicture();
}

bool MediaSession::sendText()
{
    if (m_text.empty()) return true;
    const qint64 sent = sendMediaPacket(MediaPacket::text(m_text.oldest()));
    if (sent < 1) return false;
    m_pacer.sent(sent, false);
    m_text.advance();
    return true;
}

void MediaSession::sendAudio()
{
    AudioQueue &q = m_audio.outgoing();
    if (m_audio.recordingForMessage || q.empty()) return;
    const AudioRecord &r = q.oldest();
    const QByteArray block(reinterpret_cast<const char *>(r.bytes.data()), r.length);
    const qint64 sent = sendMediaPacket(MediaPacket::speech(block));
    if (sent < 1) return;
    m_pacer.sent(sent, false);
    if (m_totals.sentSpeechMs.size() < MaxTimings) m_totals.sentSpeechMs.push_back(r.recordedMs);
    q.advance();
    ++m_totals.blocksOut;
}

void MediaSession::sendPicture()
{
    if (!m_video.cameraOn() || !m_video.captureAvailable() || !m_video.takePicture()) return;
    const QByteArray packet = m_video.sendPicture(m_deps.session.peerVersion());
    const qint64 sent = packet.isEmpty() ? 0 : sendMediaPacket(packet);
    if (sent > 0) {
        m_pacer.sent(sent, true);
        ++m_framesOut;
        ++m_totals.picturesOut;
        if (m_totals.sentCaptureMs.size() < MaxTimings)
            m_totals.sentCaptureMs.push_back(m_video.capturedMs());
    }
}
