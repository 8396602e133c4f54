// The options dialog's Video and Audio tabs.
#include "mediaoptions.h"

#include "calls/mediasession.h"
#include "platform/usermessages.h"
#include "shell/sounddevices.h"
#include "userdata/settings.h"

MediaOptions::MediaOptions(const Parts &parts, QObject *parent) : QObject(parent), m_(parts)
{
    connect(&m_.media, &MediaSession::audioTestProgress, this,
            [this] { emit testProgress(testBlocks()); });
    connect(&m_.media.audio(), &AudioPath::microphoneChanged, this, [this](bool on) {
        if (m_.media.audio().audioTest) emit testRecordingChanged(on);
    });
}

bool MediaOptions::hasVideo() const
{
    return m_.media.video().captureAvailable();
}

QStringList MediaOptions::videoDevices() const
{
    const QStringList &drivers = m_.media.video().drivers();
    return drivers.isEmpty() ? QStringList{NoVideoDevice} : drivers;
}

int MediaOptions::videoDevice() const
{
    const int index = m_.settings.DriverNum;
    return index >= 0 && index < m_.media.video().drivers().size() ? index : -1;
}

void MediaOptions::chooseVideoDevice(int index)
{
    VideoPath &video = m_.media.video();
    if (index < 0 || index >= video.drivers().size()) return;
    // The same camera again is started only when it is not running (busy before, free now).
    if (index == m_.settings.DriverNum && video.captureAvailable()) return;
    video.switchDriver(index);
    emit videoChanged();
}

VideoEngine::CaptureFormat MediaOptions::videoFormat()
{
    return m_.media.video().captureFormat();
}

void MediaOptions::openDriverDialog(VideoPath::DriverDialog which)
{
    m_.media.video().openDriverDialog(which);
}

bool MediaOptions::qualityLow() const
{
    return m_.settings.VQualityLow;
}

void MediaOptions::setQualityLow(bool low)
{
    m_.settings.VQualityLow = low;
}

void MediaOptions::activated()
{
    m_.media.video().grabForSelfView();
}

bool MediaOptions::hasAudio() const
{
    return m_.media.audio().available();
}

int MediaOptions::audioMode() const
{
    return m_.media.audio().mode;
}

void MediaOptions::setAudioMode(int mode)
{
    m_.media.audio().mode = mode == AudioPath::RadioQuality ? mode : AudioPath::PhoneQuality;
}

int MediaOptions::volumeStep()
{
    return m_.sound.volume() / VolumeSteps;
}

void MediaOptions::setVolumeStep(int step)
{
    m_.sound.setVolume(std::clamp(step, 0, VolumeSteps) * VolumeSteps);
}

QList<AudioEngine::Device> MediaOptions::soundDevices(bool recording)
{
    return m_.sound.available(recording);
}

QString MediaOptions::soundDevice(bool recording) const
{
    return m_.sound.chosen(recording);
}

void MediaOptions::chooseSoundDevice(bool recording, const QString &name)
{
    m_.sound.choose(recording, name);
}

bool MediaOptions::testAllowed()
{
    if (m_.media.inCall()) {
        m_.messages.showErrorMessage(TestRefused);
        return false;
    }
    // A quick message being recorded has the microphone.
    return hasAudio() && !m_.media.audio().recordingForMessage;
}

void MediaOptions::recordTest()
{
    if (!testAllowed()) return;
    AudioPath &audio = m_.media.audio();
    audio.outgoing().reset();
    audio.audioTest = true;
    audio.switchMicrophoneOn();
    emit testProgress(0);
}

void MediaOptions::stopTest()
{
    if (!testAllowed()) return;
    AudioPath &audio = m_.media.audio();
    // The last, partly filled buffer still comes in on the next ticks.
    if (audio.audioTest && audio.microphoneOn()) audio.switchMicrophoneOff();
}

void MediaOptions::playTest()
{
    if (!testAllowed()) return;
    AudioPath &audio = m_.media.audio();
    if (!audio.audioTest) return; // nothing recorded
    if (audio.microphoneOn()) audio.switchMicrophoneOff();
    audio.playBlocks(audio.recorded());
}

void MediaOptions::endTest()
{
    AudioPath &audio = m_.media.audio();
    if (!audio.audioTest) return;
    if (audio.microphoneOn()) audio.switchMicrophoneOff();
    audio.audioTest = false;
    if (!m_.media.inCall()) audio.outgoing().reset();
}

bool MediaOptions::recording() const
{
    return m_.media.audio().audioTest && m_.media.audio().microphoneOn();
}

int MediaOptions::testBlocks() const
{
    return m_.media.audio().audioTest ? m_.media.audio().outgoing().waiting() : 0;
}
