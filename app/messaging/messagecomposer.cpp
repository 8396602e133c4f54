// The compose window's model.
#include "messagecomposer.h"

#include "media/audiopath.h"
#include "media/videopath.h"
#include "messaging/quickmessagesender.h"
#include "userdata/settings.h"
#include "userdata/useridentity.h"

#include <QDateTime>
#include <QLocale>

MessageComposer::MessageComposer(const Deps &deps, const Recipient &recipient,
                                 QuickMessageSender &sender, QObject *parent)
    : QObject(parent), m_deps(deps), m_recipient(recipient), m_sender(sender)
{
    m_progress.setInterval(ProgressMs);
    connect(&m_progress, &QTimer::timeout, this, &MessageComposer::progressTick);
    connect(&m_sender, &QuickMessageSender::statusChanged, this, &MessageComposer::statusChanged);
    connect(&m_sender, &QuickMessageSender::busyChanged, this, &MessageComposer::busyChanged);
    connect(&m_sender, &QuickMessageSender::progress, this, &MessageComposer::sendingProgress);
    connect(&m_sender, &QuickMessageSender::pictureSent, this, [this] { setSendPicture(false); });
    connect(&m_sender, &QuickMessageSender::audioSent, this, [this] { setSendAudio(false); });
    connect(&m_sender, &QuickMessageSender::finished, this, &MessageComposer::finished);
    m_deps.audio.outgoing().reset();
    takePicture();
}

MessageComposer::~MessageComposer()
{
    close();
}

bool MessageComposer::cameraAvailable() const
{
    return m_deps.video.captureAvailable();
}

bool MessageComposer::soundAvailable() const
{
    return m_deps.audio.available();
}

void MessageComposer::takePicture()
{
    if (!cameraAvailable()) return;
    // The main timer waits, so the camera's newest picture is not taken for a call meanwhile.
    const bool ticking = m_deps.mainTimer.isActive();
    m_deps.mainTimer.stop();
    if (m_deps.video.snapshot(&m_thumbnail, &m_picture)) setSendPicture(true);
    if (ticking) m_deps.mainTimer.start();
    emit pictureChanged();
}

void MessageComposer::setSendPicture(bool on)
{
    m_sendPicture = on && hasPicture();
    emit sendFlagsChanged();
    emit sizeChanged();
}

void MessageComposer::setSendAudio(bool on)
{
    m_sendAudio = on;
    emit sendFlagsChanged();
    emit sizeChanged();
}

QString MessageComposer::sizeText() const
{
    const int size = (m_sendPicture ? int(m_picture.size()) : 0) + (m_sendAudio ? m_audioBytes : 0);
    return QStringLiteral("MsgSize: %1Kb").arg(qint16(size) / 1000);
}

bool MessageComposer::recording() const
{
    return m_deps.audio.microphoneOn();
}

int MessageComposer::progress() const
{
    return m_deps.audio.outgoing().writeIndex();
}

void MessageComposer::record()
{
    AudioPath &audio = m_deps.audio;
    audio.outgoing().reset();
    m_audioBytes = 0;
    audio.recordingForMessage = true;
    setSendAudio(true);
    m_progress.start();
    audio.switchMicrophoneOn();
    emit recordingChanged(recording());
}

void MessageComposer::progressTick()
{
    const AudioQueue &queue = m_deps.audio.outgoing();
    const int entry = queue.writeIndex();
    emit progressChanged(entry);
    if (entry > 1) {
        m_audioBytes = 0;
        for (const QByteArray &block : m_deps.audio.recorded())
            m_audioBytes += int(block.size());
        emit sizeChanged();
    }
    if (entry == AudioQueue::Slots) stop();
}

void MessageComposer::stop()
{
    if (!recording()) return;
    m_deps.audio.switchMicrophoneOff();
    m_progress.stop();
    emit recordingChanged(false);
}

void MessageComposer::play()
{
    stop();
    m_deps.audio.playBlocks(m_deps.audio.recorded());
}

void MessageComposer::send(const QString &text)
{
    stop();
    QuickMessageSender::Outgoing out;
    const Settings &s = m_deps.settings;
    out.body = {m_deps.identity.userId(),
                s.Name,
                s.EMail,
                s.Location,
                QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat),
                QString(text).remove(QLatin1Char(';'))};
    out.picture = m_picture;
    out.sendPicture = m_sendPicture;
    out.audio = m_deps.audio.recorded();
    out.sendAudio = m_sendAudio;
    m_sender.send(m_recipient.address, m_recipient.basePort, out);
}

void MessageComposer::close()
{
    if (m_closed) return;
    m_closed = true;
    stop();
    m_sender.close();
    AudioPath &audio = m_deps.audio;
    audio.recordingForMessage = false;
    audio.outgoing().reset();
}
