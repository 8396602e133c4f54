// The options dialog's Video and Audio tabs without their window. Everything here takes effect at
// once, without Close: the camera (switched live), the picture quality, the speech compression,
// the speaker volume and the sound devices. The audio test records into the queue that speech
// of a call uses (so it is refused during a call), and the main timer reports its progress.
#pragma once

#include "media/audioengine.h"
#include "media/audiopath.h"
#include "media/ringqueue.h"
#include "media/videopath.h"

#include <QObject>
#include <QStringList>

class MediaSession;
class SoundDevices;
class UserMessages;
struct Settings;

class MediaOptions : public QObject
{
    Q_OBJECT
public:
    inline static const QString NoVideoDevice =
        QStringLiteral("Video device not present, or disfunctional");
    inline static const QString TestRefused =
        QStringLiteral("You cannot test the audio while being connected to another user.");
    // The volume slider's steps: the engine's 0 to 100 in tens.
    static constexpr int VolumeSteps = 10;
    // The audio test holds at most this many blocks of speech (0.2 s each): the queue's slots
    // but the one that tells full from empty.
    static constexpr int TestBlocks = AudioQueue::Slots - 1;

    struct Deps {
        Settings &settings;
        MediaSession &media;
        SoundDevices &sound;
        UserMessages &messages;
    };
    explicit MediaOptions(const Deps &deps, QObject *parent = nullptr);

    // Video: the cameras by name (or the single NoVideoDevice entry) and the one in use (-1
    // when DriverNum names none of them).
    bool hasVideo() const;
    QStringList videoDevices() const;
    int videoDevice() const;
    void chooseVideoDevice(int index);
    VideoEngine::CaptureFormat videoFormat();
    void openDriverDialog(VideoPath::DriverDialog which);
    bool qualityLow() const;
    void setQualityLow(bool low);
    // The dialog became active: a new picture for the self view.
    void activated();

    // Audio.
    bool hasAudio() const;
    int audioMode() const;
    void setAudioMode(int mode);
    int volumeStep();
    void setVolumeStep(int step);
    QList<AudioEngine::Device> soundDevices(bool recording);
    QString soundDevice(bool recording) const;
    void chooseSoundDevice(bool recording, const QString &name);

    // The audio test: Record, Stop and Play; endTest() when the dialog goes.
    void recordTest();
    void stopTest();
    void playTest();
    void endTest();
    bool recording() const;
    // Blocks recorded by the test so far.
    int testBlocks() const;

signals:
    // The camera changed: the tab shows the new device and format.
    void videoChanged();
    void testProgress(int blocks);
    void testRecordingChanged(bool recording);

private:
    bool testAllowed();

    Deps m_deps;
};
