// Call set-up on the control connection, both sides: the request (RQC), the answers (RRS YES/NO,
// BSY), the capability record (UIF), the busy rule, opening the media connection, hanging up, and
// the log lines and sounds of the exchange.
#pragma once

#include <QObject>
#include <QTimer>

struct CallSession;
struct Endpoints;
struct Settings;
class ActivityLog;
class ChatLink;
class IncomingCall;
class SoundPlayer;
class UserMessages;

class CallSignalling : public QObject
{
    Q_OBJECT
public:
    // Peer-supplied names and places are cut to this length: a genuine one is far shorter.
    static constexpr int MaxPeerField = 256;
    // A control connection that is not carrying a prompt or a call is closed after this long.
    static constexpr int StrayConnectionMs = 30000;
    void setStrayConnectionTimeout(int ms) { m_strayMs = ms; }

    struct Deps {
        Settings &settings;
        CallSession &session;
        Endpoints &endpoints;
        IncomingCall &incoming;
        ChatLink &chat;
        ActivityLog &log;
        SoundPlayer &sounds;
        UserMessages &messages;
    };
    explicit CallSignalling(const Deps &deps, QObject *parent = nullptr);

    // Do Not Disturb: connection requests on the control listener are refused.
    bool doNotDisturb() const { return m_doNotDisturb; }
    void setDoNotDisturb(bool on);

    // Whether a request on control connection `id` is answered busy.
    bool BusyCheck(int id) const;

    QByteArray requestMessage() const;
    static QByteArray capabilityMessage(bool flag);

    void ConnectMedia(const QString &host);
    void hangUp();
    void CloseServedConnection(int n);
    void CloseClientConnections();

    // Closes control connections that carry neither a prompt nor a call and have been open for
    // longer than the stray-connection timeout (run every few seconds).
    void sweepStrayConnections();

signals:
    void doNotDisturbChanged(bool on);

private:
    void onControlConnected(int status);
    void onControlData(const QByteArray &text);
    void onControlDisconnected();
    void onListenerData(int id, const QByteArray &text);
    void onListenerDisconnected(int id);
    void onRequest(int id, const QByteArray &text);
    void onCapability(int id, const QByteArray &text);
    void ring();
    QString callLine(const QString &name, const QString &location, const QString &time) const;

    Deps m_;
    bool m_doNotDisturb = false;
    int m_strayMs = StrayConnectionMs;
    QTimer m_sweep;
};
