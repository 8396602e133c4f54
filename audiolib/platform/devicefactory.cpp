// devicefactory.cpp - device selection by environment variable.
#include "devicefactory.h"

#include "alsadevice.h"
#include "wavfiledevice.h"

#include <cstdlib>
#include <mutex>
#include <string_view>

namespace ovela::audio
{
namespace
{

constexpr std::string_view kWavPrefix = "wav:";
constexpr std::string_view kAlsaPrefix = "alsa:";

struct Chosen {
    std::mutex lock;
    std::string recording = "default", playback = "default";
};

Chosen &chosen()
{
    static Chosen instance;
    return instance;
}

DeviceChoice fromEnvironment(const char *variable, bool recording)
{
    return DeviceChoice::parse(std::getenv(variable), chosenAlsaDevice(recording));
}

} // namespace

void chooseAlsaDevice(bool recording, const std::string &name)
{
    Chosen &c = chosen();
    const std::lock_guard<std::mutex> hold(c.lock);
    (recording ? c.recording : c.playback) = name.empty() ? "default" : name;
}

std::string chosenAlsaDevice(bool recording)
{
    Chosen &c = chosen();
    const std::lock_guard<std::mutex> hold(c.lock);
    return recording ? c.recording : c.playback;
}

DeviceChoice DeviceChoice::parse(const char *setting, const std::string &alsaName)
{
    DeviceChoice choice;
    choice.name = alsaName;
    const std::string_view text = setting ? setting : "";
    if (text.substr(0, kWavPrefix.size()) == kWavPrefix && text.size() > kWavPrefix.size()) {
        choice.kind = Kind::WavFile;
        choice.name = std::string(text.substr(kWavPrefix.size()));
    } else if (text.substr(0, kAlsaPrefix.size()) == kAlsaPrefix &&
               text.size() > kAlsaPrefix.size()) {
        choice.name = std::string(text.substr(kAlsaPrefix.size()));
    } else if (text == "none") {
        choice.kind = Kind::None;
    }
    return choice;
}

bool EnvironmentDeviceFactory::hasPlayback()
{
    const DeviceChoice choice = fromEnvironment("OVELA_SPEAKER", false);
    switch (choice.kind) {
    case DeviceChoice::Kind::WavFile:
        return true;
    case DeviceChoice::Kind::None:
        return false;
    case DeviceChoice::Kind::Alsa:
        break;
    }
    return alsa::hasPlayback(choice.name);
}

int EnvironmentDeviceFactory::openCapture(std::unique_ptr<CaptureSource> &source)
{
    const DeviceChoice choice = fromEnvironment("OVELA_MIC", true);
    switch (choice.kind) {
    case DeviceChoice::Kind::WavFile:
        return wavfile::openCapture(choice.name, source);
    case DeviceChoice::Kind::None:
        return DeviceResult::kNoDevice;
    case DeviceChoice::Kind::Alsa:
        break;
    }
    return alsa::openCapture(choice.name, source);
}

int EnvironmentDeviceFactory::openPlayback(std::unique_ptr<PlaybackSink> &sink)
{
    const DeviceChoice choice = fromEnvironment("OVELA_SPEAKER", false);
    switch (choice.kind) {
    case DeviceChoice::Kind::WavFile:
        return wavfile::openPlayback(choice.name, sink);
    case DeviceChoice::Kind::None:
        return DeviceResult::kNoDevice;
    case DeviceChoice::Kind::Alsa:
        break;
    }
    return alsa::openPlayback(choice.name, sink);
}

} // namespace ovela::audio
