// devicefactory.h - chooses the devices each time one is opened: OVELA_MIC and OVELA_SPEAKER may
// name "wav:PATH" (a scripted device), "alsa:NAME" (that ALSA device) or "none" (no device);
// unset, the ALSA device the program chose (QVIDSetAudioDevice) is used, "default" unless it
// chose another.
#pragma once

#include "wavedevice.h"

#include <string>

namespace ovela::audio
{

struct DeviceChoice {
    enum class Kind { Alsa, WavFile, None };
    Kind kind = Kind::Alsa;
    std::string name; // ALSA device name or file path

    // The environment's setting; unset (or unreadable), the ALSA device `alsaName`.
    static DeviceChoice parse(const char *setting, const std::string &alsaName = "default");
};

// The ALSA device the program chose for recording or playing; an empty name is "default".
void chooseAlsaDevice(bool recording, const std::string &name);
std::string chosenAlsaDevice(bool recording);

class EnvironmentDeviceFactory final : public DeviceFactory
{
public:
    bool hasPlayback() override;
    int openCapture(std::unique_ptr<CaptureSource> &source) override;
    int openPlayback(std::unique_ptr<PlaybackSink> &sink) override;
};

} // namespace ovela::audio
