// The sound devices the user chose for recording and playing, and the speaker volume, kept in a
// small file of their own beside the settings ("sound", lines such as "Playback=default") rather
// than in ovela.ini. Start-up hands them to the audio engine and the sound player before either
// opens a device; the options dialog changes them, and each change is written at once
// (atomically).
#pragma once

#include "media/audioengine.h"

#include <QString>

class SoundPlayer;
class UserMessages;

class SoundDevices
{
public:
    inline static const QString FileName = QStringLiteral("sound");
    inline static const QString Default = QStringLiteral("default");
    static constexpr int NoVolume = -1; // the engine's own volume stands

    SoundDevices(AudioEngine &engine, SoundPlayer &sounds, UserMessages &messages,
                 const QString &folder);

    // Reads the file and hands the choice to the engine and the player. A device that is not
    // there now (a headset unplugged) gives way to "default" for this run; the file keeps it.
    // A damaged file is reported and set aside.
    void load();

    // The devices to choose from, "default" first.
    QList<AudioEngine::Device> available(bool recording);
    QString chosen(bool recording) const { return recording ? m_recording : m_playback; }
    // Used from the next opening on, and saved.
    void choose(bool recording, const QString &name);
    // What OVELA_MIC or OVELA_SPEAKER choose instead (scripted devices); empty when unset.
    static QString environmentChoice(bool recording);

    // The speaker volume, 0 to 100, as the engine has it; setting it also saves it.
    int volume();
    void setVolume(int volume);

    QString path() const;

private:
    void save();

    AudioEngine &m_engine;
    SoundPlayer &m_sounds;
    UserMessages &m_messages;
    QString m_folder;
    QString m_recording = Default, m_playback = Default;
    int m_volume = NoVolume;
};
