// The audio engine as the program uses it. Each function forwards to the engine's export of the
// same name (bound at its first call). A missing library or export is reported to the user once,
// turns the facade unusable, and never raises: from then on every function does nothing and
// returns its failure value.
#pragma once

#include "enginefacade.h"

#include <QList>
#include <QString>

#include <cstdint>

class UserMessages;

class AudioEngine : public EngineFacade
{
    Q_OBJECT
public:
    explicit AudioEngine(UserMessages &messages, QObject *parent = nullptr);

    void startGsm();
    void stopGsm();
    bool hasAudio();

    // Devices: true when opened; the handle is the engine's.
    bool initAudioIn(int32_t *handle);
    void closeAudioIn(int32_t handle);
    // Recorded buffers waiting.
    int statusAudioIn(int32_t handle);
    int32_t getAudioIn(uint8_t *buffer);
    bool initAudioOut(int32_t *handle);
    void closeAudioOut(int32_t handle);
    // Buffers the speaker still plays (0 when idle).
    int statusAudioOut(int32_t handle);
    // True when the speaker took the samples.
    bool setAudioOut(int32_t handle, const uint8_t *samples, int length);

    // Output volume, 0 to 100.
    int volume();
    void setVolume(int volume);

    // The sound devices to choose from for recording or playing ("default" first), and the
    // choice, which the next opening uses.
    struct Device {
        QString name, description;
    };
    QList<Device> devices(bool recording);
    void chooseDevice(bool recording, const QString &name);
    // Opens the chosen recording or playing device and closes it at once: whether it opens.
    bool tryDevice(bool recording);

    // GSM blocks: the block's length, or 0 or less when nothing was coded.
    int32_t compressGsm(const uint8_t *samples, int count, int mode, uint8_t *block);
    int32_t uncompressGsm(const uint8_t *block, int length, uint8_t *samples, int32_t capacity);

    inline static const QString FailureText =
        QStringLiteral("Failed to Load QVNAUD20.DLL, could be missing: ");
};
