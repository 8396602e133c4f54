// Push-to-talk speech of a call: the microphone and the speaker of the audio engine, the queue of
// coded blocks waiting to go out, and the queue of decoded blocks waiting to be played.
#pragma once

#include "ringqueue.h"

#include <QList>
#include <QObject>
#include <array>

class AudioEngine;

class AudioPath : public QObject
{
    Q_OBJECT
public:
    static constexpr int IncomingRecords = 60;
    static constexpr int CaptureBytes = 1600;
    // GSM modes.
    static constexpr int PhoneQuality = 0; // "Phone Quality (13.2 kbps)"
    static constexpr int RadioQuality = 1; // "Radio Quality (6.6 kbps)"

    explicit AudioPath(AudioEngine &engine, QObject *parent = nullptr);

    // Start-up: whether there is sound at all (false also when the engine cannot be loaded).
    void setAvailable(bool on) { m_available = on; }
    bool available() const { return m_available; }
    int mode = PhoneQuality;
    // The microphone records for a quick message or the options' audio test, not for a call.
    bool recordingForMessage = false;
    bool audioTest = false;

    // Start-up: the speaker closed, the microphone off, nothing queued.
    void reset();
    bool microphoneOn() const { return m_recording; }
    bool speakerOpen() const { return m_speakerOpen; }
    // False while the sound output could not be opened the last time it was tried (a call's
    // speech, the audio test, a message's clip); the next open that works clears it.
    bool speakerUsable() const { return m_available && m_speakerUsable; }
    // Call sounds play only while both the speaker and the microphone are idle.
    bool idle() const { return !m_speakerOpen && !m_recording; }

    void switchMicrophoneOn();
    void switchMicrophoneOff();
    // Takes one recorded buffer, codes it and queues the block (the timer's microphone step).
    void collectAudio();
    // Plays every decoded block that waits, opening the speaker first if need be.
    void playAudio();
    // Follows the speaker: open while the engine plays, closed once it has closed itself.
    void pollSpeaker();
    bool recordedWaiting() const;

    // Plays GSM blocks (a recorded clip, a received one) unless the speaker is busy already;
    // each block decoded from at most `blockLimit` of its bytes.
    void playBlocks(const QList<QByteArray> &blocks, int blockLimit = AudioRecord::Capacity);
    // The blocks recorded for a message: the outgoing queue from its read to its write index.
    QList<QByteArray> recorded() const;

    AudioQueue &outgoing() { return m_out; }
    // Decodes a received block into the incoming queue; when 60 wait, the newest replaces the
    // last one.
    void receive(const uint8_t *block, int length);
    int incomingWaiting() const { return m_inCount; }
    // Speech of a call that has ended is never played into the next one.
    void dropIncoming() { m_inCount = 0; }
    const AudioRecord &incoming(int index) const { return m_in[size_t(index - 1)]; }

signals:
    void microphoneChanged(bool on);
    void speakerChanged(bool on);

private:
    bool openMicrophone();
    // Opens the sound output; a failure marks the speaker unusable until an open works again.
    bool openSpeaker();

    AudioEngine &m_engine;
    bool m_available = false;
    bool m_recording = false;
    bool m_speakerOpen = false;
    bool m_speakerUsable = true;
    int32_t m_inHandle = 0;
    int32_t m_outHandle = 0;
    AudioQueue m_out;
    std::array<AudioRecord, IncomingRecords> m_in{};
    int m_inCount = 0;
    bool m_speakerLit = false;
};
