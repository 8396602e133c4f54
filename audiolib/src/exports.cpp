// exports.cpp - the C interface of libQVNAUD20.so over the process-wide engine and codec.
#include "qvnaud20.h"

#include "../platform/alsadevice.h"
#include "../platform/devicefactory.h"
#include "gsmcodec.h"
#include "waveengine.h"

#include <cstring>
#include <string>

using ovela::audio::EnvironmentDeviceFactory;
using ovela::audio::GsmCodec;
using ovela::audio::WaveEngine;

namespace
{

WaveEngine &engine()
{
    static WaveEngine instance(std::make_unique<EnvironmentDeviceFactory>());
    return instance;
}

GsmCodec &codec()
{
    static GsmCodec instance;
    return instance;
}

} // namespace

extern "C" {

int32_t QVIDHasAudio(void)
{
    return engine().hasAudio();
}

int32_t QVIDInitAudioIn(int32_t, int32_t, int32_t *handle)
{
    return engine().initIn(handle);
}

int32_t QVIDStartAudioIn(int32_t handle)
{
    return engine().startIn(handle);
}

int32_t QVIDStatusAudioIn(int32_t)
{
    return engine().statusIn();
}

int32_t QVIDGetAudioIn(uint8_t *destination)
{
    return engine().getIn(destination);
}

int32_t QVIDResetAudioIn(int32_t handle)
{
    return engine().resetIn(handle);
}

int32_t QVIDStopAudioIn(int32_t handle)
{
    return engine().stopIn(handle);
}

int32_t QVIDCloseAudioIn(int32_t handle)
{
    return engine().closeIn(handle);
}

int32_t QVIDInitAudioOut(int32_t, int32_t, int32_t *handle)
{
    return engine().initOut(handle);
}

int32_t QVIDStatusAudioOut(int32_t)
{
    return engine().statusOut();
}

int32_t QVIDSetAudioOut(int32_t, const uint8_t *samples, int16_t count)
{
    return engine().setOut(samples, count);
}

int32_t QVIDStopAudioOut(int32_t handle)
{
    return engine().stopOut(handle);
}

int32_t QVIDCloseAudioOut(int32_t handle)
{
    return engine().closeOut(handle);
}

int32_t QVIDGetVolumeOut(void)
{
    return engine().volume();
}

int32_t QVIDSetVolumeOut(int32_t volume)
{
    return engine().setVolume(volume);
}

int32_t QVIDGetAudioDevices(int32_t recording, char *names, int32_t size)
{
    std::string list;
    size_t fits = 0; // the whole lines that fit, with room for the 0
    for (const auto &[name, description] : ovela::audio::alsa::devices(recording != 0)) {
        list += name + '\t' + description + '\n';
        if (size > 0 && list.size() < size_t(size)) fits = list.size();
    }
    if (names && size > 0) {
        std::memcpy(names, list.data(), fits);
        names[fits] = '\0';
    }
    return int32_t(list.size() + 1);
}

int32_t QVIDSetAudioDevice(int32_t recording, const char *name)
{
    const std::string chosen = name ? name : "";
    if (chosen.size() >= 256) return QVNAUD20_ERR_BAD_PARAM;
    ovela::audio::chooseAlsaDevice(recording != 0, chosen);
    return 0;
}

int32_t QVIDStartGSM(void)
{
    codec().start();
    return 0;
}

int32_t QVIDStopGSM(void)
{
    codec().stop();
    return 0;
}

int32_t QVIDCompressAudioGSM(uint8_t *samples, int16_t count, int16_t mode, uint8_t *block)
{
    return codec().compress(samples, count, mode, block);
}

int32_t QVIDUnCompressAudioGSM(const uint8_t *block, int16_t length, uint8_t *samples)
{
    return codec().decompress(block, length, samples, QVNAUD20_RECORD_BYTES);
}

int32_t QVIDUnCompressAudioGSMBounded(const uint8_t *block, int16_t length, uint8_t *samples,
                                      int32_t capacity)
{
    return codec().decompress(block, length, samples, capacity);
}

} // extern "C"
