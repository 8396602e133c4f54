// Measuring what crossed in a call.
#include "callanalysis.h"

#include <QFile>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numeric>

namespace CallAnalysis
{

bool writeSpeechLikeWav(const QString &path, double seconds)
{
    constexpr int Rate = 8000;
    const int n = int(seconds * Rate);
    std::vector<short> samples(size_t(n), 0);
    double phase = 0;
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / Rate;
        // Syllables of 180 ms with 70 ms pauses; every fourth one longer, as between words.
        const double cycle = std::fmod(t, 1.0);
        const double within = std::fmod(cycle, 0.25);
        const bool voiced = within < 0.18 && cycle < 0.9;
        if (!voiced) continue;
        const double envelope = std::sin(M_PI * within / 0.18);
        const double pitch =
            110 + 40 * std::sin(2 * M_PI * 0.7 * t) + 15 * std::sin(2 * M_PI * 5 * t);
        phase += 2 * M_PI * pitch / Rate;
        const double f1 = 500 + 300 * std::sin(2 * M_PI * 1.3 * t);
        const double f2 = 1500 + 600 * std::sin(2 * M_PI * 0.9 * t + 1);
        double v = 0;
        for (int h = 1; h * pitch < 3400; ++h) {
            const double f = h * pitch;
            // Formant resonances shape the harmonics.
            const double g = 1.0 / (1 + std::pow((f - f1) / 150, 2)) +
                             0.6 / (1 + std::pow((f - f2) / 200, 2)) + 0.05;
            v += g * std::sin(h * phase);
        }
        samples[size_t(i)] = short(std::clamp(v * envelope * 6000.0, -30000.0, 30000.0));
    }
    SF_INFO info{};
    info.samplerate = Rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file) return false;
    const sf_count_t written = sf_write_short(file, samples.data(), n);
    sf_close(file);
    return written == n;
}

std::vector<float> readWav(const QString &path, int *rate)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file) return {};
    std::vector<float> frames(size_t(info.frames) * size_t(std::max(1, info.channels)));
    const sf_count_t got = sf_readf_float(file, frames.data(), info.frames);
    sf_close(file);
    std::vector<float> mono(size_t(std::max<sf_count_t>(got, 0)));
    for (size_t i = 0; i < mono.size(); ++i) {
        float sum = 0;
        for (int c = 0; c < info.channels; ++c)
            sum += frames[i * size_t(info.channels) + size_t(c)];
        mono[i] = sum / float(info.channels);
    }
    if (rate) *rate = info.samplerate;
    return mono;
}

double bestCorrelation(const std::vector<float> &reference, const std::vector<float> &received,
                       size_t length)
{
    length = std::min(length, reference.size());
    if (length == 0 || received.size() < length) return 0;
    const auto ref = reference.begin();
    const double refMean = std::accumulate(ref, ref + long(length), 0.0) / double(length);
    double refEnergy = 0;
    for (size_t i = 0; i < length; ++i)
        refEnergy += std::pow(reference[i] - refMean, 2);
    double best = 0;
    // A coarse search every 8 samples, then the neighbourhood of the best lag.
    auto at = [&](size_t lag) {
        double mean = 0;
        for (size_t i = 0; i < length; ++i)
            mean += received[lag + i];
        mean /= double(length);
        double cross = 0, energy = 0;
        for (size_t i = 0; i < length; ++i) {
            const double r = received[lag + i] - mean;
            cross += (reference[i] - refMean) * r;
            energy += r * r;
        }
        return energy > 0 && refEnergy > 0 ? cross / std::sqrt(refEnergy * energy) : 0.0;
    };
    size_t bestLag = 0;
    for (size_t lag = 0; lag + length <= received.size(); lag += 8) {
        const double c = at(lag);
        if (c > best) {
            best = c;
            bestLag = lag;
        }
    }
    for (size_t lag = bestLag > 8 ? bestLag - 8 : 0;
         lag <= bestLag + 8 && lag + length <= received.size(); ++lag)
        best = std::max(best, at(lag));
    return best;
}

double psnr(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull()) return 0;
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    double squared = 0;
    for (int row = 0; row < x.height(); ++row) {
        const uchar *p = x.constScanLine(row);
        const uchar *q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i)
            squared += std::pow(double(p[i]) - double(q[i]), 2);
    }
    const double mse = squared / (double(x.width()) * x.height() * 3);
    return mse <= 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

double bestPsnr(const QImage &received, const std::function<QImage(int)> &candidate, int count,
                int *which)
{
    double best = 0;
    for (int k = 0; k < count; ++k) {
        const double p = psnr(received, candidate(k));
        if (p > best) {
            best = p;
            if (which) *which = k;
        }
    }
    return best;
}

namespace
{
// The report's whole-number lines and where they go.
const std::pair<const char *, qint64 Report::*> Counts[] = {
    {"pictures_sent", &Report::picturesSent},
    {"pictures_received", &Report::picturesReceived},
    {"bytes_sent", &Report::bytesSent},
    {"bytes_received", &Report::bytesReceived},
    {"speech_blocks_sent", &Report::speechBlocksSent},
    {"speech_blocks_received", &Report::speechBlocksReceived},
    {"chat_lines_received", &Report::chatLinesReceived},
    {"pictures_held_back", &Report::picturesHeldBack},
};
} // namespace

namespace
{
std::vector<qint64> *timeLists(Report &r, const QByteArray &key)
{
    if (key == "sent_capture_ms") return &r.sentCaptureMs;
    if (key == "drawn_ms") return &r.drawnMs;
    if (key == "sent_speech_ms") return &r.sentSpeechMs;
    if (key == "arrived_speech_ms") return &r.arrivedSpeechMs;
    return nullptr;
}
} // namespace

Report readReport(const QString &path)

{
    Report r;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return r;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq < 0) continue;
        const QByteArray key = line.left(eq);
        const QByteArray value = line.mid(eq + 1).trimmed();
        if (key == "seconds") {
            r = Report(); // a new call begins
            r.seconds = value.toDouble();
            r.valid = true;
        } else if (const auto count = std::find_if(std::begin(Counts), std::end(Counts),
                                                   [&](const auto &c) { return key == c.first; });
                   count != std::end(Counts))
            r.*(count->second) = value.toLongLong();
        else if (key == "cpu_seconds")

            r.cpuSeconds = value.toDouble();
        else if (const auto times = timeLists(r, key)) {
            std::vector<qint64> &list = *times;
            for (const QByteArray &v : value.split(','))
                if (!v.isEmpty()) list.push_back(v.toLongLong());
        }
    }

    return r;
}

} // namespace CallAnalysis
