// wavfiledevice.h - scripted devices for headless runs and tests: a microphone that plays a
// WAV file (converted to 8 kHz 8-bit mono, then silence) and a speaker that writes what it
// plays into a WAV file. Both answer at once; the device workers hold them to real time.
#pragma once

#include "wavedevice.h"

#include <memory>
#include <string>

namespace ovela::audio::wavfile
{

// Reads and converts the whole file; kGeneral when it cannot be read.
int openCapture(const std::string &path, std::unique_ptr<CaptureSource> &source);
// The first opening in this process starts the file afresh; later ones add to it, so a run
// leaves everything it played in one file.
int openPlayback(const std::string &path, std::unique_ptr<PlaybackSink> &sink);

} // namespace ovela::audio::wavfile
