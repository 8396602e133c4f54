// The incoming message window without the window: one opened message, its picture decoded, its
// voice clip played on request, and what its buttons do (reply, call the sender, add the sender
// as a pal, refuse the sender's future messages when the window closes).
#pragma once

#include "messaging/receivedmessage.h"

#include <QObject>
#include <QSize>

#include <functional>
#include <vector>

class AudioPath;
class UserMessages;
class VideoPath;
struct RefuseList;

class MessageViewer : public QObject
{
    Q_OBJECT
public:
    // A clip block is played from at most this many of its bytes.
    static constexpr int PlayedBlockBytes = 800;

    struct Deps {
        VideoPath &video;
        AudioPath &audio;
        RefuseList &refuseList;
        UserMessages &messages;
        // Adds an e-mail address to the pals; false when it cannot be added.
        std::function<bool(const QString &email)> addPal;
    };
    MessageViewer(const Deps &deps, const ReceivedMessage &message, QObject *parent = nullptr);
    ~MessageViewer() override;

    const ReceivedMessage &message() const { return m_message; }
    // The decoded picture (bottom-up BGR) and its size; empty without one.
    const std::vector<uint8_t> &picture() const { return m_picture; }
    QSize pictureSize() const { return m_pictureSize; }
    bool hasAudio() const { return !m_message.audio.isEmpty(); }

    void play();
    // Reply: a compose window to the sender (base port 2000).
    void reply();
    void connectToSender();
    // Add Pal: false when the message has no e-mail address.
    bool addPal();
    void setRefuse(bool on) { m_refuse = on; }
    // Every close: the sender is refused now when the box is ticked.
    void close();

signals:
    void replyRequested(const QString &name, const QString &location, const QString &address,
                        int port);
    // Connect: a call to the sender.
    void callRequested(const QString &address, int port);

private:
    Deps m_deps;
    ReceivedMessage m_message;
    std::vector<uint8_t> m_picture;
    QSize m_pictureSize;
    bool m_refuse = false;
    bool m_closed = false;
};
