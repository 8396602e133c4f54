// Measuring what crossed in a call, for the demo and the end-to-end tests: a speech-like test
// signal, how closely received speech follows what was spoken, and how closely a received
// picture follows what was sent.
#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <vector>

namespace CallAnalysis
{

// Writes `seconds` of a speech-like signal (voiced syllables with a moving pitch and formants,
// pauses between words) as an 8 kHz 16-bit mono WAV file.
bool writeSpeechLikeWav(const QString &path, double seconds);

// Samples of a WAV file as floats in -1..1 (mono: channels are mixed); empty on failure.
std::vector<float> readWav(const QString &path, int *rate = nullptr);

// The best normalised correlation of `reference` (its first `length` samples) with any stretch
// of `received`, over every lag; 0..1. Both at the same sample rate.
double bestCorrelation(const std::vector<float> &reference, const std::vector<float> &received,
                       size_t length);

// Peak signal-to-noise ratio of two pictures of the same size, in dB (99 when identical).
double psnr(const QImage &a, const QImage &b);

// The best PSNR of `received` against the pictures candidate(0 .. count - 1).
double bestPsnr(const QImage &received, const std::function<QImage(int)> &candidate, int count,
                int *which = nullptr);

// key=value lines of a call report (the last call in the file wins).
struct Report {
    double seconds = 0;
    qint64 picturesSent = 0, picturesReceived = 0, bytesSent = 0, bytesReceived = 0;
    qint64 speechBlocksSent = 0, speechBlocksReceived = 0, chatLinesReceived = 0;
    double cpuSeconds = 0;
    std::vector<qint64> sentCaptureMs, drawnMs, sentSpeechMs, arrivedSpeechMs;
    qint64 picturesHeldBack = 0;
    bool valid = false;
};

// Reads the last call's report from a file the program wrote (OVELA_REPORT).
Report readReport(const QString &path);

} // namespace CallAnalysis
