// The receiving side of quick messages: the listener on base port + 2, ten message slots, the
// refuse list and the Disable setting answering MRD, the arrival sound and the indicator, and
// "open next message" in slot order. Messages that arrived and are not opened yet are kept in
// their own file, so they outlive the program.
//
// Slots are reserved when they are given to a connection, so two senders never share one; a slot
// whose connection closes before its message is complete is freed at once, and a sender that
// stops sending is let go after IdleMs (every step of an honest sender answers at once, so a
// minute of silence means it is gone, not slow), and one that has not finished its message
// TimeLimitMs after it came, a byte at a time, say, is let go too: the largest message crosses a
// slow line in seconds.
#pragma once

#include "messaging/receivedmessage.h"
#include "platform/endpointerror.h"
#include "protocol/quickmessage.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <map>
#include <memory>

class LineListener;
class SoundPlayer;
class Transports;
class UserMessages;
struct RefuseList;
struct Settings;

class QuickMessageReceiver : public QObject
{
    Q_OBJECT
public:
    static constexpr int MessagePortOffset = 2;
    static constexpr int IdleMs = 60000;
    static constexpr int TimeLimitMs = 120000;
    static constexpr int FirstBuffer = 32768;

    struct Deps {
        Settings &settings;
        RefuseList &refuseList;
        SoundPlayer &sounds;
        UserMessages &messages;
        Transports &transports;
    };
    explicit QuickMessageReceiver(const Deps &deps, QObject *parent = nullptr);
    ~QuickMessageReceiver() override;

    // Listens on base port + 2; the error is for the "Listen Daemon 3" message.
    EndpointError start(quint16 basePort);
    void shutDown();
    quint16 listeningPort() const;
    // Reads the messages a previous run left unopened (start-up).
    void loadUnopened(const QString &path);
    void setIdleTimeout(int ms);
    void setTimeLimit(int ms);

    // Slot states.
    enum class State { Free, Receiving, Complete };
    State state(int slot) const;
    // Whether a complete message waits (the indicator).
    bool messageWaiting() const;
    int waitingCount() const;
    // The user opens the next message: the lowest-numbered complete slot's message, which
    // leaves its slot; false when none waits.
    bool openNextMessage(ReceivedMessage *message);

signals:
    void indicatorChanged(bool on);
    // A message has arrived whole and waits to be opened.
    void messageArrived(const ReceivedMessage &message);
    void messageOpened(const ReceivedMessage &message);

private:
    struct Slot {
        State state = State::Free;
        int connection = 0; // the connection it is reserved for, while receiving
        ReceivedMessage message;
    };
    struct Connection {
        int slot = 0; // 1-based; 0 for none
        QuickMessage::Reader reader;
    };
    void onConnected(int id, int status);
    void onData(int id, const QByteArray &bytes);
    void onClosed(int id);
    void closeOverdue();
    // False when the connection was closed while handling it.
    bool handle(int id, Slot &slot, const QuickMessage::Message &message);
    void completed(int id, Slot &slot);
    void saveUnopened();

    Deps m_deps;
    std::unique_ptr<LineListener> m_listener; // base port + 2
    std::array<Slot, QuickMessage::Slots> m_slots;
    std::map<int, Connection> m_connections;
    QString m_storePath;
    QTimer m_overdue;
    int m_timeLimitMs = TimeLimitMs;
};
