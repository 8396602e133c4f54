// Playing a wave file by name, without waiting for it; silent when the file or the sound device
// is missing. A new sound stops the one still playing.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;
    virtual void play(const QString &fileName) = 0;
    // The ALSA device the sounds play on from now on ("default" unless the user chose another).
    virtual void setDevice(const QString &) {}
};

class WavePlayer : public SoundPlayer
{
public:
    WavePlayer();
    ~WavePlayer() override;
    WavePlayer(const WavePlayer &) = delete;
    WavePlayer &operator=(const WavePlayer &) = delete;

    void play(const QString &fileName) override;
    void setDevice(const QString &name) override;

    // Where a sound is looked for: the current folder, then the data folder beside the
    // program's (share/ovela/sounds, installed or in the build folder).
    static QStringList searchPath();
    static QString locate(const QString &fileName);

private:
    struct Worker;
    Worker *m_worker;
    QByteArray m_device = "default";
};
