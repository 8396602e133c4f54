// Wave files read with libsndfile and played on ALSA (the chosen device, else "default") from a
// worker thread.
#include "soundplayer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <alsa/asoundlib.h>
#include <sndfile.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace
{

struct Sound {
    std::vector<short> samples; // interleaved
    int channels = 0;
    int rate = 0;
};

bool readSound(const QString &path, Sound *sound)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file) return false;
    // Sounds are short; anything absurdly long is cut to a minute.
    const sf_count_t frames = std::min<sf_count_t>(info.frames, sf_count_t(info.samplerate) * 60);
    if (info.channels < 1 || info.channels > 8 || frames <= 0) {
        sf_close(file);
        return false;
    }
    sound->samples.resize(size_t(frames) * size_t(info.channels));
    sound->channels = info.channels;
    sound->rate = info.samplerate;
    const sf_count_t got = sf_readf_short(file, sound->samples.data(), frames);
    sound->samples.resize(size_t(std::max<sf_count_t>(got, 0)) * size_t(info.channels));
    sf_close(file);
    return !sound->samples.empty();
}

void quietAlsa(const char *, int, const char *, int, const char *, ...) {}

void playOnDevice(const Sound &sound, const QByteArray &device, const std::atomic<bool> &stop)
{
    // A machine without a sound card is normal here; ALSA need not complain about it.
    static const bool silenced = (snd_lib_error_set_handler(quietAlsa), true);
    (void)silenced;
    snd_pcm_t *pcm = nullptr;
    // Opened without waiting, so a device held by another program never blocks the window
    // thread's next sound (which waits for this worker); then written in blocking mode.
    if (snd_pcm_open(&pcm, device.constData(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return;
    if (snd_pcm_nonblock(pcm, 0) < 0) {
        snd_pcm_close(pcm);
        return;
    }
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                           unsigned(sound.channels), unsigned(sound.rate), 1, 200000) < 0) {
        snd_pcm_close(pcm);
        return;
    }
    const snd_pcm_uframes_t total = sound.samples.size() / size_t(sound.channels);
    snd_pcm_uframes_t done = 0;
    while (done < total && !stop) {
        const snd_pcm_uframes_t chunk = std::min<snd_pcm_uframes_t>(total - done, 800);
        snd_pcm_sframes_t n =
            snd_pcm_writei(pcm, sound.samples.data() + done * size_t(sound.channels), chunk);
        if (n < 0) n = snd_pcm_recover(pcm, int(n), 1);
        if (n < 0) break;
        done += snd_pcm_uframes_t(n);
    }
    if (stop)
        snd_pcm_drop(pcm);
    else
        snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
}

void noteSound(const QString &fileName)
{
    // OVELA_SOUND_LOG names a file that receives the name of every sound asked for, so a
    // machine without speakers can still tell which sounds a session made.
    const QString logPath = qEnvironmentVariable("OVELA_SOUND_LOG");
    if (logPath.isEmpty()) return;
    QFile log(logPath);
    if (log.open(QIODevice::Append)) log.write(fileName.toUtf8() + '\n');
}

} // namespace

struct WavePlayer::Worker {
    std::thread thread;
    std::atomic<bool> stop{false};

    void finish()
    {
        stop = true;
        if (thread.joinable()) thread.join();
        stop = false;
    }
};

WavePlayer::WavePlayer() : m_worker(new Worker) {}

WavePlayer::~WavePlayer()
{
    m_worker->finish();
    delete m_worker;
}

QStringList WavePlayer::searchPath()
{
    // The data folder lies beside the program's: share/ovela under the installed prefix, and
    // the same under the build folder, where the build copies the resources.
    QStringList dirs{QDir::currentPath()};
    if (QCoreApplication::instance())
        dirs << QCoreApplication::applicationDirPath() + QStringLiteral("/../share/ovela/sounds");
    return dirs;
}

QString WavePlayer::locate(const QString &fileName)
{
    if (QFileInfo(fileName).isAbsolute()) return QFileInfo::exists(fileName) ? fileName : QString();
    for (const QString &dir : searchPath()) {
        const QString path = dir + QLatin1Char('/') + fileName;
        if (QFileInfo(path).isFile()) return path;
    }
    return QString();
}

void WavePlayer::play(const QString &fileName)
{
    noteSound(fileName);
    const QString path = locate(fileName);
    if (path.isEmpty()) return;
    auto sound = std::make_shared<Sound>();
    if (!readSound(path, sound.get())) return;
    m_worker->finish();
    m_worker->thread = std::thread(
        [this, sound, device = m_device] { playOnDevice(*sound, device, m_worker->stop); });
}

void WavePlayer::setDevice(const QString &name)
{
    m_device = name.isEmpty() ? QByteArrayLiteral("default") : name.toUtf8();
}
