// alsadevice.h - recording and playing through ALSA (the "default" device, which reaches
// PulseAudio or PipeWire on a desktop), 8-bit unsigned mono at 8,000 samples per second.
#pragma once

#include "wavedevice.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ovela::audio::alsa
{

// True when the named device can be opened for playing (or is busy with another program).
bool hasPlayback(const std::string &name);
// 0 and a source or sink; kNoDevice when the device does not exist, kBadFormat when it cannot
// take the format, kBusy when another program holds it, else another error.
int openCapture(const std::string &name, std::unique_ptr<CaptureSource> &source);
int openPlayback(const std::string &name, std::unique_ptr<PlaybackSink> &sink);
// The devices ALSA lists for recording or playing, as name and one-line description: "default"
// first, without the null device and the multi-channel ones (useless for one voice).
std::vector<std::pair<std::string, std::string>> devices(bool recording);

} // namespace ovela::audio::alsa
