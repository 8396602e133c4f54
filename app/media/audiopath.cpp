// Speech of a call on the audio engine.
#include "audiopath.h"

#include "audioengine.h"
#include "platform/monotonicclock.h"

AudioPath::AudioPath(AudioEngine &engine, QObject *parent) : QObject(parent), m_engine(engine) {}

void AudioPath::reset()
{
    m_out.reset();
    m_speakerOpen = false;
    m_recording = false;
    mode = PhoneQuality;
}

bool AudioPath::openMicrophone()
{
    return m_engine.initAudioIn(&m_inHandle);
}

bool AudioPath::openSpeaker()
{
    const bool opened = m_engine.initAudioOut(&m_outHandle);
    if (opened != m_speakerUsable) {
        m_speakerUsable = opened;
        emit speakerChanged(m_speakerOpen);
    }
    return opened;
}

void AudioPath::switchMicrophoneOn()
{
    if (!m_available) return;
    if (!openMicrophone()) {
        // The sound device may be busy playing; close the speaker and try once more.
        m_engine.closeAudioOut(m_outHandle);
        m_speakerOpen = false;
        if (!openMicrophone()) return;
    }
    m_recording = true;
    emit microphoneChanged(true);
}

void AudioPath::switchMicrophoneOff()
{
    if (!m_available) return;
    m_engine.closeAudioIn(m_inHandle);
    m_recording = false;
    emit microphoneChanged(false);
}

bool AudioPath::recordedWaiting() const
{
    return m_available && m_engine.statusAudioIn(m_inHandle) > 0;
}

void AudioPath::collectAudio()
{
    std::array<uint8_t, CaptureBytes> buffer{};
    const int32_t got = m_engine.getAudioIn(buffer.data());
    if (got <= 0) return;
    AudioRecord &record = m_out.slotToWrite();
    // 1,600 samples code to at most 331 bytes, far inside a record.
    record.length = m_engine.compressGsm(buffer.data(), got, mode, record.bytes.data());
    if (record.length <= 0) return;
    // A recording for a message keeps its first 60 blocks rather than wrapping over them.
    if ((recordingForMessage || audioTest) && m_out.writeIndex() == AudioQueue::Slots) return;
    record.recordedMs = MonotonicClock::nowMs();
    m_out.commit();
}

void AudioPath::playAudio()
{
    if (!m_available || m_inCount == 0) return;
    if (!m_speakerOpen) {
        // The blocks wait for an output that opens.
        if (!openSpeaker()) return;
        m_speakerOpen = true;
    }
    for (int i = 0; i < m_inCount; ++i) {
        const AudioRecord &r = m_in[size_t(i)];
        if (!m_engine.setAudioOut(m_outHandle, r.bytes.data(), r.length)) m_speakerOpen = false;
    }
    // Blocks the speaker did not take stay queued and are offered again later.
    if (m_speakerOpen) m_inCount = 0;
}

void AudioPath::pollSpeaker()
{
    if (!m_available) return;
    const bool playing = m_engine.statusAudioOut(m_outHandle) >= 1;
    m_speakerOpen = playing;
    if (playing != m_speakerLit) {
        m_speakerLit = playing;
        emit speakerChanged(playing);
    }
}

void AudioPath::receive(const uint8_t *block, int length)
{
    if (!m_available || length <= 0) return;
    m_inCount = std::min(m_inCount + 1, IncomingRecords);
    AudioRecord &r = m_in[size_t(m_inCount - 1)];
    r.length = m_engine.uncompressGsm(block, length, r.bytes.data(), AudioRecord::Capacity);
}

void AudioPath::playBlocks(const QList<QByteArray> &blocks, int blockLimit)
{
    if (!m_available || blocks.isEmpty() || m_speakerOpen) return;
    // Nothing is handed to an output that did not open.
    if (!openSpeaker()) return;
    m_speakerOpen = true;
    std::array<uint8_t, AudioRecord::Capacity * 8> samples{};
    for (const QByteArray &block : blocks) {
        const QByteArray limited = block.left(blockLimit);
        const int32_t n =
            m_engine.uncompressGsm(reinterpret_cast<const uint8_t *>(limited.constData()),
                                   int(limited.size()), samples.data(), int32_t(samples.size()));
        if (n > 0 && !m_engine.setAudioOut(m_outHandle, samples.data(), n)) m_speakerOpen = false;
    }
}

QList<QByteArray> AudioPath::recorded() const
{
    QList<QByteArray> blocks;
    for (int i = m_out.readIndex(); i != m_out.writeIndex();
         i = i == AudioQueue::Slots ? 1 : i + 1) {
        const AudioRecord &r = m_out.at(i);
        blocks.append(QByteArray(reinterpret_cast<const char *>(r.bytes.data()), r.length));
    }
    return blocks;
}
