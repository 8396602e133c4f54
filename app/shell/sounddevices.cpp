// The chosen sound devices and volume.
#include "sounddevices.h"

#include "platform/soundplayer.h"
#include "platform/textfile.h"
#include "platform/usermessages.h"

#include <QDir>
#include <QFile>

namespace
{
const QString RecordingKey = QStringLiteral("Recording");
const QString PlaybackKey = QStringLiteral("Playback");
const QString VolumeKey = QStringLiteral("Volume");

bool present(const QList<AudioEngine::Device> &devices, const QString &name)
{
    for (const AudioEngine::Device &d : devices)
        if (d.name == name) return true;
    return false;
}
} // namespace

SoundDevices::SoundDevices(AudioEngine &engine, SoundPlayer &sounds, UserMessages &messages,
                           const QString &folder)
    : m_engine(engine), m_sounds(sounds), m_messages(messages), m_folder(folder)
{
}

QString SoundDevices::path() const
{
    return QDir(m_folder).filePath(FileName);
}

QString SoundDevices::environmentChoice(bool recording)
{
    return qEnvironmentVariable(recording ? "OVELA_MIC" : "OVELA_SPEAKER");
}

void SoundDevices::load()
{
    QStringList lines;
    if (!TextFile::readLines(path(), &lines)) return;
    bool damaged = false;
    for (const QString &line : lines) {
        if (line.trimmed().isEmpty()) continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        const QString key = line.left(equals).trimmed(), value = line.mid(equals + 1).trimmed();
        bool ok = true;
        if (equals < 1 || value.isEmpty())
            damaged = true;
        else if (key == RecordingKey)
            m_recording = value;
        else if (key == PlaybackKey)
            m_playback = value;
        else if (key == VolumeKey)
            m_volume = std::clamp(value.toInt(&ok), 0, 100);
        damaged = damaged || !ok;
    }
    if (damaged) {
        // Set aside rather than lost; the defaults serve until the user chooses again.
        m_recording = m_playback = Default;
        m_volume = NoVolume;
        const QString aside = path() + QStringLiteral(".damaged");
        QFile::remove(aside);
        QFile::rename(path(), aside);
        m_messages.showErrorMessage(QStringLiteral("The sound settings in %1 could not be read; "
                                                   "they were set aside as %2 and the default "
                                                   "devices are used.")
                                        .arg(path(), aside));
        return;
    }
    // The engine learns only what differs from its own defaults, so a program that never chose
    // anything starts exactly as before.
    for (const bool recording : {true, false}) {
        const QString name = chosen(recording);
        if (name == Default) continue;
        if (present(m_engine.devices(recording), name)) {
            m_engine.chooseDevice(recording, name);
            if (!recording) m_sounds.setDevice(name);
        }
    }
    if (m_volume != NoVolume) m_engine.setVolume(m_volume);
}

QList<AudioEngine::Device> SoundDevices::available(bool recording)
{
    QList<AudioEngine::Device> list = m_engine.devices(recording);
    if (list.isEmpty()) list.append({Default, QString()}); // no engine: the default stands
    return list;
}

void SoundDevices::choose(bool recording, const QString &name)
{
    const QString device = name.trimmed().isEmpty() ? Default : name.trimmed();
    (recording ? m_recording : m_playback) = device;
    m_engine.chooseDevice(recording, device);
    if (!recording) m_sounds.setDevice(device);
    save();
}

int SoundDevices::volume()
{
    return m_engine.volume();
}

void SoundDevices::setVolume(int volume)
{
    m_volume = std::clamp(volume, 0, 100);
    m_engine.setVolume(m_volume);
    save();
}

void SoundDevices::save()
{
    QStringList lines{RecordingKey + QLatin1Char('=') + m_recording,
                      PlaybackKey + QLatin1Char('=') + m_playback};
    if (m_volume != NoVolume) lines << VolumeKey + QLatin1Char('=') + QString::number(m_volume);
    QDir().mkpath(m_folder);
    if (const FileError e = TextFile::writeLines(path(), lines))
        m_messages.showErrorMessage(
            e.message(QStringLiteral("Could not save the sound settings, ")));
}
