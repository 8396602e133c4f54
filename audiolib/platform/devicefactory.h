// devicefactory.h - chooses the devices from the environment each time one is opened:
// OVELA_MIC and OVELA_SPEAKER may name "wav:PATH" (a scripted device), "alsa:NAME" (that ALSA
// device) or "none" (no device); unset, the ALSA "default" device is used.
#pragma once

#include "wavedevice.h"

#include <string>

namespace ovela::audio
{

struct DeviceChoice {
    enum class Kind { Alsa, WavFile, None };
    Kind kind = Kind::Alsa;
    std::string name; // ALSA device name or file path

    static DeviceChoice parse(const char *setting);
};

class EnvironmentDeviceFactory final : public DeviceFactory
{
public:
    bool hasPlayback() override;
    int openCapture(std::unique_ptr<CaptureSource> &source) override;
    int openPlayback(std::unique_ptr<PlaybackSink> &sink) override;
};

} // namespace ovela::audio
