// The compose window without the window: the recipient, the picture taken from the camera (80 x
// 60, at most 8,000 bytes), the voice clip recorded into the call's outgoing audio queue (at most
// 59 blocks, with the recording-for-a-message flag so nothing of it goes out on a call), the size
// display, and sending (through a sender that the model is given, not one it owns).
#pragma once

#include <QObject>
#include <QTimer>

#include <vector>

class AudioPath;
class QuickMessageSender;
class VideoPath;
class UserIdentity;
class UserMessages;
struct Settings;

class MessageComposer : public QObject
{
    Q_OBJECT
public:
    static constexpr int ProgressMs = 250;

    struct Deps {
        Settings &settings;
        UserIdentity &identity;
        AudioPath &audio;
        VideoPath &video;
        // The call's main timer: it waits while the camera's picture is taken for a message.
        QTimer &mainTimer;
        UserMessages &messages;
    };
    struct Recipient {
        QString name, location, address;
        quint16 basePort = 2000;
    };
    // `sender` sends this message only, and outlives the composer.
    MessageComposer(const Deps &deps, const Recipient &recipient, QuickMessageSender &sender,
                    QObject *parent = nullptr);
    ~MessageComposer() override;

    const Recipient &recipient() const { return m_recipient; }
    bool cameraAvailable() const;
    bool soundAvailable() const;

    // Refresh: a new picture from the camera.
    void takePicture();
    bool hasPicture() const { return !m_picture.isEmpty(); }
    // The picture, 80 x 60, bottom-up BGR.
    const std::vector<uint8_t> &thumbnail() const { return m_thumbnail; }

    bool sendPicture() const { return m_sendPicture; }
    bool sendAudio() const { return m_sendAudio; }
    void setSendPicture(bool on);
    void setSendAudio(bool on);
    // "MsgSize: " and the kilobytes of what would go.
    QString sizeText() const;

    void record();
    void stop();
    void play();
    bool recording() const;
    // The recording's progress, 1 to 60.
    int progress() const;
    // tmrAudioProg.
    void progressTick();

    void send(const QString &text);
    // Cancel and every other close: the recording stops and the queue is the call's again.
    void close();

signals:
    void pictureChanged();
    void sizeChanged();
    void sendFlagsChanged();
    void progressChanged(int entry);
    void recordingChanged(bool on);
    void statusChanged(const QString &text);
    void busyChanged(bool busy);
    void sendingProgress(int percent); // -1: nothing under way
    // The recipient closed the connection: the window goes.
    void finished();

private:
    Deps m_deps;
    Recipient m_recipient;
    QuickMessageSender &m_sender; // owned by Messaging, which made it for this window
    QTimer m_progress;
    std::vector<uint8_t> m_thumbnail;
    QByteArray m_picture;
    bool m_sendPicture = false, m_sendAudio = false;
    int m_audioBytes = 0;
    bool m_closed = false;
};
