// The media connection and the main timer.
#include "mediasession.h"

#include "calls/callsession.h"
#include "calls/endpoints.h"
#include "directory/activitylog.h"
#include "messaging/chatlink.h"
#include "platform/soundplayer.h"
#include "platform/usermessages.h"
#include "qvdlldef.h"

#include "qvidutil.h"
#include "shell/settings.h"
#include <QFile>
#include <QTextStream>
#include <cstring>
#include <sys/resource.h>

namespace
{
// Picture timings kept per call for the report (about 10 minutes at 13 pictures a second).
constexpr size_t MaxTimings = 8000;

double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

QByteArray mediaPacket(const char *tag, const QByteArray &payload)
{
    if (payload.size() > MaxPayload) return {};
    return QByteArray(tag) + QByteArray::number(payload.size()).rightJustified(5, '0') + payload +
           MediaEol;
}

MediaSession::MediaSession(const Deps &deps, QObject *parent)
    : QObject(parent), audio(deps.session), video(deps.settings, deps.session, deps.messages),
      m_(deps), m_payload(PayloadBytes)
{
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &MediaSession::tick);
    m_clockBase.start();

    Endpoints &ep = m_.endpoints;
    ep.ippClient.setEol(MediaEol);
    connect(&ep.ipdQvid, &IPDaemon::ConnectionRequest, this, &MediaSession::onServedRequest);
    connect(&ep.ipdQvid, &IPDaemon::Connected, this,
            [this](int id, int status) { onServedConnected(id, status); });
    connect(&ep.ipdQvid, &IPDaemon::Disconnected, this,
            [this](int id) { endCall(m_.endpoints.ipdQvid.remoteHost(id)); });
    connect(&ep.ippClient, &IPPort::Connected, this,
            [this](int status) { onClientConnected(status); });
    connect(&ep.ippClient, &IPPort::Disconnected, this,
            [this] { endCall(m_.endpoints.ippClient.remoteHost()); });
    connect(&ep.ipdQvid, &IPDaemon::DataIn, this,
            [this](int, const QByteArray &text, bool eol) { OnMediaData(text, eol, false); });
    connect(&ep.ippClient, &IPPort::DataIn, this,
            [this](const QByteArray &text, bool eol) { OnMediaData(text, eol, true); });
}

MediaSession::~MediaSession() = default;

void MediaSession::InitMediaEngine()
{
    CallSession &s = m_.session;
    m_text.reset();
    audio.outgoing().reset();
    m_framesIn = m_framesOut = m_bytesIn = m_bytesOut = 0;
    s.mediaState = MediaStates::None;
    s.speakerState = 1;
    s.microphoneState = 1;
    audio.mode = 0;
    m_incomingSize = QSize(320, 240);
    s.BasePort = 2000;

    // Without an engine the program runs on, without pictures or without sound.
    try {
        m_videoEngine = qvd::QVIDInitialize(nullptr) == 0;
        qvd::QVIDSetCompType(6);
        m_drawDib = qvd::QVIDDrawDibOpen();
        qvd::QVIDDrawDibBegin(m_drawDib, m_incomingSurface, 320, 240, 320, 240, 24);
        qvd::QVIDDrawDibRealize(m_drawDib, m_incomingSurface);
        qvd::QVIDInitPlaybackEngine(m_drawDib, m_incomingSurface);
    } catch (const EngineError &e) {
        engineFailure(e);
    }
    video.setEngineReady(m_videoEngine);
    try {
        qvd::QVIDStartGSM();
        audio.setAvailable(qvd::QVIDHasAudio() == 1);
    } catch (const EngineError &e) {
        engineFailure(e);
    }
}

void MediaSession::engineFailure(const EngineError &e)
{
    // The program runs on without the engine at fault; the user hears of it once.
    const bool isVideo = std::strcmp(e.library, audioEngine().fileName()) != 0;
    if (isVideo) {
        m_videoEngine = false;
        video.setEngineReady(false);
        video.forgetCapture();
    } else {
        audio.setAvailable(false);
    }
    bool &told = isVideo ? m_videoFailureShown : m_audioFailureShown;
    if (told) return;
    told = true;
    m_.messages.showErrorMessage(
        (isVideo ? QStringLiteral("Failed to Load RXVLIB10.DLL, could be missing: ")
                 : QStringLiteral("Failed to Load QVNAUD20.DLL, could be missing: ")) +
        QString::number(e.number) + QLatin1Char(' ') + e.description);
}

void MediaSession::tick()
{
    guarded([this] { tickSteps(); });
}

void MediaSession::OnMediaData(const QByteArray &text, bool endOfLine, bool fromClient)
{
    guarded([&] { handleMediaData(text, endOfLine, fromClient); });
}

void MediaSession::startCapture(RXVDrawSurface *parent)
{
    guarded([&] { video.StartCapture(parent); });
}

void MediaSession::talk(bool on)
{
    guarded([&] { on ? audio.MicrophoneOn() : audio.MicrophoneOff(); });
}

void MediaSession::shutDownEngines()
{
    guarded([this] { stopEngines(); });
}

void MediaSession::stopEngines()
{
    video.closeCapture();
    if (m_videoEngine) {
        qvd::QVIDTerminate();
        qvd::QVIDDrawDibEnd(m_drawDib);
        qvd::QVIDDrawDibClose(m_drawDib);
        m_drawDib = nullptr;
        m_videoEngine = false;
        video.setEngineReady(false);
    }
    if (audio.available()) {
        if (m_.session.microphoneState == 2) audio.MicrophoneOff();
        qvd::QVIDStopGSM();
        audio.setAvailable(false);
    }
}

bool MediaSession::inCall() const
{
    return m_.session.mediaState == MediaStates::Established;
}

void MediaSession::onServedRequest(bool *accept)
{
    // Media connections come from the peer of the call accepted on control connection 1; a
    // connection from anywhere else, or a second one, would hijack the call.
    CallSession &s = m_.session;
    *accept = s.acceptedIncoming && m_.endpoints.ipdQvid.connectionCount() == 0;
    if (*accept) s.mediaState = MediaStates::Requested;
}

void MediaSession::onServedConnected(int id, int status)
{
    Endpoints &ep = m_.endpoints;
    if (status != 0) {
        if (ep.ippControl.connected()) ep.ippControl.setConnected(false);
        if (m_.chat.ippText.connected()) m_.chat.ippText.setConnected(false);
        return;
    }
    ep.ipdQvid.setBufferSizes(id, 32768, 16384);
    audio.outgoing().reset();
    ep.ipdQvid.setEol(id, MediaEol);
    enterCall();
}

void MediaSession::onClientConnected(int status)
{
    Endpoints &ep = m_.endpoints;
    if (status != 0) {
        ep.ippControl.setConnected(false);
        m_.session.CallState = CallStates::NoAnswer;
        return;
    }
    m_.chat.ConnectText(ep.ippControl.remoteHost(), ep.ippControl.remotePort());
    audio.outgoing().reset();
    m_text.reset();
    enterCall();
    m_clock.reset();
    m_.log.AddLogEntry(QStringLiteral("Placed call to ") + ep.ippClient.remoteHost());
}

void MediaSession::enterCall()
{
    m_totals = Totals();
    m_totals.startedMs = m_clockBase.elapsed();
    m_totals.cpuStart = processorSeconds();
    m_.chat.setPeerCaption(m_.session.RemoteUserName);
    if (m_.settings.SendWelcome) m_text.add(m_.settings.WelcomeMsg);
    m_.session.mediaState = MediaStates::Established;
    emit callEntered();
}

void MediaSession::endCall(const QString &remoteHost)
{
    CallSession &s = m_.session;
    if (s.audioIdle()) m_.sounds.play(QStringLiteral("discon.wav"));
    m_.chat.setIdleCaption();
    s.mediaState = MediaStates::None;
    s.acceptedIncoming = false;
    m_clock.reset();
    EndMediaSession();
    m_.log.AddLogEntry(QStringLiteral("Disconnected from ") + remoteHost);
}

void MediaSession::EndMediaSession()
{
    CallSession &s = m_.session;
    m_totals.endedMs = m_clockBase.elapsed();
    m_totals.cpuEnd = processorSeconds();
    writeCallReport();
    m_text.reset();
    audio.outgoing().reset();
    audio.dropIncoming();
    s.peerVersion = false;

    s.realTime = false;
    m_framesIn = m_framesOut = m_bytesIn = m_bytesOut = 0;
    emit figuresReset();
    if (m_videoEngine) qvd::QVIDFlushEvents();
    m_.chat.clearOutgoing();
    m_.chat.appendIncoming(QStringLiteral("\r\n<End of Connection>\r\n"));
    s.RemoteUserName.clear();
    m_incomingSize = QSize(320, 240);
    emit callEnded();
}

qint64 MediaSession::SendMediaPacket(const QByteArray &packet)
{
    Endpoints &ep = m_.endpoints;
    qint64 sent = 0;
    if (ep.ipdQvid.connected(1)) {
        ep.ipdQvid.dataToSend(1, packet);
        sent = ep.ipdQvid.bytesSent(1);
    } else if (ep.ippClient.connected()) {
        ep.ippClient.dataToSend(packet);
        sent = ep.ippClient.bytesSent();
    }
    m_bytesOut += sent;
    m_totals.bytesOut += sent;
    return sent;
}

void MediaSession::handleMediaData(const QByteArray &text, bool endOfLine, bool fromClient)
{
    m_bytesIn += text.size();
    m_totals.bytesIn += text.size();
    const int declared = QVIDUTIL::val32(text.mid(3, 5));
    // Chunks of a line too long to hold, and packets that declare nothing, are dropped.
    if (declared < 1 || !endOfLine || !m_videoEngine) return;
    const int received = int(std::min<qsizetype>(text.size(), qsizetype(declared) + 8));
    int16_t kind = 0;
    const int32_t result = qvd::QVIDProcessData(reinterpret_cast<const uint8_t *>(text.constData()),
                                                received, m_payload.data(), PayloadBytes, &kind);
    switch (kind) {
    case 1: {
        if (fromClient) m_lastPictureValue = result;
        int16_t w = 0, h = 0;
        qvd::RXVGetImageSize(&w, &h);
        if (w != m_incomingSize.width()) {
            m_incomingSize = QSize(w, h);
            emit incomingPictureResized(w, h);
        }
        ++m_framesIn;
        ++m_totals.picturesIn;
        if (m_totals.drawnMs.size() < MaxTimings)
            m_totals.drawnMs.push_back(QVIDUTIL::monotonicMs());
        break;
    }
    case 2:
        if (result > 0) {
            audio.receive(m_payload.data(), result);
            ++m_totals.blocksIn;
        }
        break;
    case 3:
        m_.chat.appendReceivedLine(QVIDUTIL::fromWire(text.mid(8, declared)));
        ++m_totals.linesIn;
        break;
    default:
        break;
    }
}

void MediaSession::tickSteps()
{
    if (!startupCallTarget.isEmpty()) {
        const QString target = startupCallTarget;
        startupCallTarget.clear();
        if (placeStartupCall) placeStartupCall(target);
    }

    // The activity animation moves every second tick during a call, and after one until it is
    // back at its first picture.
    ++m_tickCount;
    if ((m_tickCount % 2) == 0 && (m_.session.mediaState != MediaStates::None || m_frame != 0)) {
        m_frame = (m_frame + 1) % AnimationFrames;
        emit animationFrameChanged(m_frame);
    }

    audio.pollSpeaker();
    const qint64 now = m_clockBase.elapsed();
    if (now >= m_nextFive) fiveSecondTick(now);

    if (audio.recordedWaiting()) audio.CollectAudio();
    if (!inCall() && !audio.recordingForMessage && !audio.audioTest) audio.outgoing().reset();

    // A picture is grabbed only while no speech waits: speech goes first.
    if (video.cameraOn() && video.captureAvailable() && audio.outgoing().empty()) video.grab();

    if (!inCall()) {
        m_nextSecond = now + 1000;
        m_nextTen = now + 10000;
        return;
    }
    callTick(now);
}

void MediaSession::fiveSecondTick(qint64 now)
{
    m_nextFive = now + 5000;
    emit captureRate(QString::number(video.captureRateStep(5.0)));
    emit fiveSecondStep();
    video.captureSizeStep();
}

void MediaSession::callTick(qint64 now)
{
    if (audio.incomingWaiting() > 4 || m_.session.speakerState == 3) audio.PlayAudio();
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
    sendPicture();
}

bool MediaSession::sendText()
{
    if (m_text.empty()) return true;
    QByteArray payload = QVIDUTIL::wire(m_text.oldest());
    if (payload.size() > MaxTextPayload) {
        // Cut at a character boundary rather than refused.
        qsizetype cut = MaxTextPayload;
        while (cut > 0 && (uchar(payload.at(cut)) & 0xC0) == 0x80)
            --cut;
        payload.truncate(cut);
    }
    if (SendMediaPacket(mediaPacket("TXT", payload)) < 1) return false;
    m_text.advance();
    return true;
}

void MediaSession::sendAudio()
{
    AudioQueue &q = audio.outgoing();
    if (audio.recordingForMessage || q.empty()) return;
    const AudioRecord &r = q.oldest();
    const QByteArray block(reinterpret_cast<const char *>(r.bytes.data()), r.length);
    if (SendMediaPacket(mediaPacket("AUD", block)) > 0) {
        q.advance();
        ++m_totals.blocksOut;
    }
}

void MediaSession::sendPicture()
{
    if (!video.cameraOn() || !video.captureAvailable() || !video.TakePicture()) return;
    const QByteArray packet = video.SendPicture(m_.session.peerVersion);
    if (!packet.isEmpty() && SendMediaPacket(packet) > 0) {
        ++m_framesOut;
        ++m_totals.picturesOut;
        if (m_totals.sentCaptureMs.size() < MaxTimings)
            m_totals.sentCaptureMs.push_back(video.capturedMs());
    }
}

void MediaSession::writeCallReport() const
{
    // OVELA_REPORT names a file that receives what crossed in each call, for demos and
    // end-to-end runs.
    const QString path = qEnvironmentVariable("OVELA_REPORT");
    if (path.isEmpty()) return;
    QFile file(path);
    if (!file.open(QIODevice::Append)) return;
    const Totals &t = m_totals;
    const double seconds = std::max<qint64>(1, t.endedMs - t.startedMs) / 1000.0;
    QTextStream out(&file);
    out << "seconds=" << seconds << "\npictures_sent=" << t.picturesOut
        << "\npictures_received=" << t.picturesIn << "\nbytes_sent=" << t.bytesOut
        << "\nbytes_received=" << t.bytesIn << "\nspeech_blocks_sent=" << t.blocksOut
        << "\nspeech_blocks_received=" << t.blocksIn << "\nchat_lines_received=" << t.linesIn
        << "\ncpu_seconds=" << (t.cpuEnd - t.cpuStart) << "\nsent_capture_ms=";
    for (size_t i = 0; i < t.sentCaptureMs.size(); ++i)
        out << (i ? "," : "") << t.sentCaptureMs[i];
    out << "\ndrawn_ms=";
    for (size_t i = 0; i < t.drawnMs.size(); ++i)
        out << (i ? "," : "") << t.drawnMs[i];
    out << "\n\n";
}
