// The audio engine facade.
#include "audioengine.h"

#include "enginebindings.h"

#include <vector>

AudioEngine::AudioEngine(UserMessages &messages, QObject *parent)
    : EngineFacade(messages, FailureText, parent)
{
}

void AudioEngine::startGsm()
{
    guard(0, [] { return qvd::QVIDStartGSM(); });
}

void AudioEngine::stopGsm()
{
    guard(0, [] { return qvd::QVIDStopGSM(); });
}

bool AudioEngine::hasAudio()
{
    return guard(false, [] { return qvd::QVIDHasAudio() == 1; });
}

bool AudioEngine::initAudioIn(int32_t *handle)
{
    return guard(false, [&] { return qvd::QVIDInitAudioIn(0, 0, handle) == 0; });
}

void AudioEngine::closeAudioIn(int32_t handle)
{
    guard(0, [&] { return qvd::QVIDCloseAudioIn(handle); });
}

int AudioEngine::statusAudioIn(int32_t handle)
{
    return guard(0, [&] { return int(qvd::QVIDStatusAudioIn(handle)); });
}

int32_t AudioEngine::getAudioIn(uint8_t *buffer)
{
    return guard(int32_t(0), [&] { return qvd::QVIDGetAudioIn(buffer); });
}

bool AudioEngine::initAudioOut(int32_t *handle)
{
    return guard(false, [&] { return qvd::QVIDInitAudioOut(0, 0, handle) == 0; });
}

void AudioEngine::closeAudioOut(int32_t handle)
{
    guard(0, [&] { return qvd::QVIDCloseAudioOut(handle); });
}

int AudioEngine::statusAudioOut(int32_t handle)
{
    return guard(0, [&] { return int(qvd::QVIDStatusAudioOut(handle)); });
}

bool AudioEngine::setAudioOut(int32_t handle, const uint8_t *samples, int length)
{
    return guard(false,
                 [&] { return qvd::QVIDSetAudioOut(handle, samples, int16_t(length)) == 0; });
}

int32_t AudioEngine::compressGsm(const uint8_t *samples, int count, int mode, uint8_t *block)
{
    // The engine's function takes the samples as writable; it does not change them.
    return guard(int32_t(0), [&] {
        return qvd::QVIDCompressAudioGSM(const_cast<uint8_t *>(samples), int16_t(count),
                                         int16_t(mode), block);
    });
}

int32_t AudioEngine::uncompressGsm(const uint8_t *block, int length, uint8_t *samples,
                                   int32_t capacity)
{
    return guard(int32_t(0), [&] {
        return qvd::QVIDUnCompressAudioGSMBounded(block, int16_t(std::min(length, 32767)), samples,
                                                  capacity);
    });
}

int AudioEngine::volume()
{
    return guard(0, [] { return int(qvd::QVIDGetVolumeOut()); });
}

void AudioEngine::setVolume(int volume)
{
    guard(0, [&] { return qvd::QVIDSetVolumeOut(volume); });
}

QList<AudioEngine::Device> AudioEngine::devices(bool recording)
{
    const int32_t flag = recording ? 1 : 0;
    std::vector<char> names;
    guard(0, [&] {
        // The list may change between asking its size and reading it: read until it fits.
        for (int32_t needed = qvd::QVIDGetAudioDevices(flag, nullptr, 0);
             needed > int32_t(names.size());
             needed = qvd::QVIDGetAudioDevices(flag, names.data(), int32_t(names.size())))
            names.assign(size_t(needed) + 256, '\0');
        return 0;
    });
    QList<Device> list;
    for (const QString &line :
         QString::fromUtf8(names.data()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        list.append({line.left(tab), tab < 0 ? QString() : line.mid(tab + 1)});
    }
    return list;
}

bool AudioEngine::tryDevice(bool recording)
{
    int32_t handle = 0;
    if (recording ? !initAudioIn(&handle) : !initAudioOut(&handle)) return false;
    recording ? closeAudioIn(handle) : closeAudioOut(handle);
    return true;
}

void AudioEngine::chooseDevice(bool recording, const QString &name)
{
    const QByteArray bytes = name.toUtf8();
    guard(0, [&] { return qvd::QVIDSetAudioDevice(recording ? 1 : 0, bytes.constData()); });
}
