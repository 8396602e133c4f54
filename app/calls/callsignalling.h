// Call set-up on the control connection, both sides: the control listener on the base port and
// the control client to a peer's, the request (RQC), the answers (RRS YES/NO, BSY), the
// capability record (UIF), the busy rule, opening the media connection, hanging up, and the log
// lines and sounds of the exchange.
#pragma once

#include "platform/endpointerror.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class ActivityLog;
class CallSecurity;
class CallSession;
class ChatConversation;
class ChatLink;
class IncomingCall;
class LineClient;
class LineListener;
class MediaSession;
class SoundPlayer;
class Transports;
class UserMessages;
struct Settings;

class CallSignalling : public QObject
{
    Q_OBJECT
public:
    // A control connection that is not carrying a prompt or a call is closed after this long.
    static constexpr int StrayConnectionMs = 30000;
    static constexpr int SweepMs = 5000;
    // A call whose connection attempt has had no reply for this long did not answer.
    static constexpr int ConnectTimeoutMs = 30000;
    // A taken base port moves up by this step, at most this many times.
    static constexpr int BasePortStep = 4;
    static constexpr int BasePortSteps = 3;

    struct Deps {
        Settings &settings;
        CallSession &session;
        IncomingCall &incoming;
        MediaSession &media;
        ChatConversation &chat;
        ChatLink &chatLink;
        ActivityLog &log;
        SoundPlayer &sounds;
        UserMessages &messages;
        Transports &transports;
        CallSecurity &security;
    };
    explicit CallSignalling(const Deps &deps, QObject *parent = nullptr);
    ~CallSignalling() override;

    // Listens on *basePort, moving it up by four while the port is taken (three times at most);
    // *basePort is where it ended. The error is for the "Listen Daemon 1" message.
    EndpointError start(quint16 *basePort);
    // Shutdown: closes the call's control connections and stops listening.
    void shutDown();

    // Do Not Disturb: connection requests on the control listener are refused.
    bool doNotDisturb() const { return m_doNotDisturb; }
    void setDoNotDisturb(bool on);

    // A call request that is screened instead of prompted for (a machine that answers by
    // itself): the screen learns of it, and answerScreened() answers it later or at once.
    struct Caller {
        QString name, location, time, host;
    };
    void setScreen(std::function<void(const Caller &)> screen) { m_screen = std::move(screen); }
    // Answers the screened request: accepted without asking, or declined. False when the caller
    // has gone meanwhile.
    bool answerScreened(bool accept);

    // Whether a request on control connection `id` is answered busy.
    bool busyCheck(int id) const;

    // The calling side: opens the control connection to host:port (the previous one is let go
    // quietly); an address that cannot be resolved is the error.
    EndpointError connectControl(const QString &host, quint16 port);
    // Abandons the control connection, also while it is still being made.
    void abandonControl();
    // The control connection to a peer is up or being made.
    bool calling() const;
    void closeControl();
    void connectMedia(const QString &host);
    void hangUp();
    void closeServedConnection(int n);
    void closeClientConnections();

    // Closes control connections that carry neither a prompt nor a call and have been open for
    // longer than the stray-connection timeout (run every few seconds).
    void sweepStrayConnections();
    void setStrayConnectionTimeout(int ms) { m_strayMs = ms; }
    void setConnectTimeout(int ms);
    int controlConnections() const;
    quint16 listeningPort() const;

signals:
    void doNotDisturbChanged(bool on);

private:
    void onControlConnected(int status, const QString &description);
    void onControlData(const QByteArray &text);
    void onControlClosed();
    void onListenerData(int id, const QByteArray &text);
    void onListenerDisconnected(int id);
    void sendAccept();
    void sendDecline();
    void ring();
    // Both sides agreed whether the call is encrypted: its media and text connections follow.
    void settleEncryption(bool encrypted);
    QString callLine(const QString &name, const QString &location, const QString &time) const;

    Deps m_deps;
    std::unique_ptr<LineListener> m_listener; // base port, no terminator
    std::unique_ptr<LineClient> m_client;     // a peer's base port, no terminator
    bool m_doNotDisturb = false;
    bool m_offered = false;              // the accept offered encryption
    bool m_mediaAfterCapability = false; // the media connection waits for the peer's UIF
    int m_strayMs = StrayConnectionMs;
    int m_connectTimeoutMs = ConnectTimeoutMs;
    QTimer m_sweep;
    std::function<void(const Caller &)> m_screen;
    Caller m_screened;
};
