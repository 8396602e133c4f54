// The options dialog's Video and Audio tabs.
#include "mediaoptions.h"

#include "calls/mediasession.h"
#include "platform/usermessages.h"
#include "shell/sounddevices.h"
#include "userdata/settings.h"

MediaOptions::MediaOptions(const Deps &deps, QObject *parent) : QObject(parent), m_deps(deps)
{
    connect(&m_deps.media, &MediaSession::audioTestProgress, this,
            [this] { emit testProgress(testBlocks()); });
    connect(&m_deps.media.audio(), &AudioPath::microphoneChanged, this, [this](bool on) {
        if (m_deps.media.audio().audioTest) emit testRecordingChanged(on);
    });
}

bool MediaOptions::hasVideo() const
{
    return m_deps.media.video().captureAvailable();
}

QStringList MediaOptions::videoDevices() const
{
    const QStringList &drivers = m_deps.media.video().drivers();
    return drivers.isEmpty() ? QStringList{NoVideoDevice} : drivers;
}

int MediaOptions::videoDevice() const
{
    const int index = m_deps.settings.DriverNum;
    return index >= 0 && index < m_deps.media.video().drivers().size() ? index : -1;
}

void MediaOptions::chooseVideoDevice(int index)
{
    VideoPath &video = m_deps.media.video();
    if (index < 0 || index >= video.drivers().size()) return;
    // The same camera again is started only when it is not running (busy before, free now).
    if (index == m_deps.settings.DriverNum && video.captureAvailable()) return;
    video.switchDriver(index);
    emit videoChanged();
}

VideoEngine::CaptureFormat MediaOptions::videoFormat()
{
    return m_deps.media.video().captureFormat();
}

void MediaOptions::openDriverDialog(VideoPath::DriverDialog which)
{
    m_deps.media.video().openDriverDialog(which);
}

bool MediaOptions::qualityLow() const
{
    return m_deps.settings.VQualityLow;
}

void MediaOptions::setQualityLow(bool low)
{
    m_deps.settings.VQualityLow = low;
}

void MediaOptions::activated()
{
    m_deps.media.video().grabForSelfView();
}

bool MediaOptions::hasAudio() const
{
    return m_deps.media.audio().available();
}

int MediaOptions::audioMode() const
{
    return m_deps.media.audio().mode;
}

void MediaOptions::setAudioMode(int mode)
{
    m_deps.media.audio().mode = mode == AudioPath::RadioQuality ? mode : AudioPath::PhoneQuality;
}

int MediaOptions::volumeStep()
{
    return m_deps.sound.volume() / VolumeSteps;
}

void MediaOptions::setVolumeStep(int step)
{
    m_deps.sound.setVolume(std::clamp(step, 0, VolumeSteps) * VolumeSteps);
}

QList<AudioEngine::Device> MediaOptions::soundDevices(bool recording)
{
    return m_deps.sound.available(recording);
}

QString MediaOptions::soundDevice(bool recording) const
{
    return m_deps.sound.chosen(recording);
}

void MediaOptions::chooseSoundDevice(bool recording, const QString &name)
{
    m_deps.sound.choose(recording, name);
}

bool MediaOptions::testAllowed()
{
    if (m_deps.media.inCall()) {
        m_deps.messages.showErrorMessage(TestRefused);
        return false;
    }
    // A quick message being recorded has the microphone.
    return hasAudio() && !m_deps.media.audio().recordingForMessage;
}

void MediaOptions::recordTest()
{
    if (!testAllowed()) return;
    AudioPath &audio = m_deps.media.audio();
    audio.outgoing().reset();
    audio.audioTest = true;
    audio.switchMicrophoneOn();
    emit testProgress(0);
}

void MediaOptions::stopTest()
{
    if (!testAllowed()) return;
    AudioPath &audio = m_deps.media.audio();
    // The last, partly filled buffer still comes in on the next ticks.
    if (audio.audioTest && audio.microphoneOn()) audio.switchMicrophoneOff();
}

void MediaOptions::playTest()
{
    if (!testAllowed()) return;
    AudioPath &audio = m_deps.media.audio();
    if (!audio.audioTest) return; // nothing recorded
    if (audio.microphoneOn()) audio.switchMicrophoneOff();
    audio.playBlocks(audio.recorded());
}

void MediaOptions::endTest()
{
    AudioPath &audio = m_deps.media.audio();
    if (!audio.audioTest) return;
    if (audio.microphoneOn()) audio.switchMicrophoneOff();
    audio.audioTest = false;
    if (!m_deps.media.inCall()) audio.outgoing().reset();
}

bool MediaOptions::recording() const
{
    return m_deps.media.audio().audioTest && m_deps.media.audio().microphoneOn();
}

int MediaOptions::testBlocks() const
{
    return m_deps.media.audio().audioTest ? m_deps.media.audio().outgoing().waiting() : 0;
}
