// Speech of a call on the audio engine.
#include "audiopath.h"

#include "calls/callsession.h"
#include "qvdlldef.h"

AudioPath::AudioPath(CallSession &session, QObject *parent) : QObject(parent), m_session(session) {}

bool AudioPath::openMicrophone()
{
    return qvd::QVIDInitAudioIn(0, 0, &m_inHandle) == 0;
}

void AudioPath::MicrophoneOn()
{
    if (!m_available) return;
    if (!openMicrophone()) {
        // The sound device may be busy playing; close the speaker and try once more.
        qvd::QVIDCloseAudioOut(m_outHandle);
        m_session.speakerState = 1;
        if (!openMicrophone()) return;
    }
    m_session.microphoneState = 2;
    emit microphoneChanged(true);
}

void AudioPath::MicrophoneOff()
{
    if (!m_available) return;
    qvd::QVIDCloseAudioIn(m_inHandle);
    m_session.microphoneState = 1;
    emit microphoneChanged(false);
}

bool AudioPath::recordedWaiting() const
{
    return m_available && qvd::QVIDStatusAudioIn(m_inHandle) > 0;
}

void AudioPath::CollectAudio()
{
    std::array<uint8_t, CaptureBytes> buffer{};
    const int32_t got = qvd::QVIDGetAudioIn(buffer.data());
    if (got <= 0) return;
    AudioRecord &record = m_out.slotToWrite();
    // 1,600 samples code to at most 331 bytes, far inside a record.
    record.length =
        qvd::QVIDCompressAudioGSM(buffer.data(), int16_t(got), int16_t(mode), record.bytes.data());
    if (record.length <= 0) return;
    // A recording for a message keeps its first 60 blocks rather than wrapping over them.
    if ((recordingForMessage || audioTest) && m_out.writeIndex() == AudioQueue::Slots) return;
    m_out.commit();
}

void AudioPath::PlayAudio()
{
    if (!m_available || m_inCount == 0) return;
    if (m_session.speakerState == 1 && qvd::QVIDInitAudioOut(0, 0, &m_outHandle) == 0)
        m_session.speakerState = 3;
    for (int i = 0; i < m_inCount; ++i) {
        const AudioRecord &r = m_in[size_t(i)];
        if (qvd::QVIDSetAudioOut(m_outHandle, r.bytes.data(), int16_t(r.length)) != 0)
            m_session.speakerState = 1;
    }
    // Blocks the speaker did not take stay queued and are offered again later.
    if (m_session.speakerState == 3) m_inCount = 0;
}

void AudioPath::pollSpeaker()
{
    if (!m_available) return;
    const bool playing = qvd::QVIDStatusAudioOut(m_outHandle) >= 1;
    m_session.speakerState = playing ? 3 : 1;
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
    r.length = qvd::QVIDUnCompressAudioGSMBounded(block, int16_t(std::min(length, 32767)),
                                                  r.bytes.data(), AudioRecord::Capacity);
}
