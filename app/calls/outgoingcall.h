// Placing a call and following it: placeCall starts the control connection (or looks an e-mail
// address up on the directory server first), and the progress window's model shows CallState
// four times a second until the media connection is up, the user dismisses it, or the call is
// cancelled.
#pragma once

#include "calls/callsession.h"

#include <QObject>
#include <QString>
#include <QTimer>

class CallSignalling;
class MediaSession;
class UserMessages;

// The directory as a call needs it: the names of its listed users and the lookup of an e-mail
// address, whose answer places the call (setUser, then placeCall with the address found).
class CallDirectory
{
public:
    virtual ~CallDirectory() = default;
    virtual bool connected() const = 0;
    virtual void lookUpEmail(const QString &address) = 0;
    // Name and location of listed user `entry` (1-based); false when there is none.
    virtual bool entry(int entry, QString *name, QString *location) const = 0;
};

class OutgoingCall : public QObject
{
    Q_OBJECT
public:
    static constexpr int TickMs = 250;
    static constexpr int AnimationFrames = 8;

    OutgoingCall(CallSession &session, CallSignalling &signalling, MediaSession &media,
                 CallDirectory &directory, UserMessages &messages, QObject *parent = nullptr);

    void placeCall(const QString &address, int port, int entry);
    // A call to an address as the user typed it or the command line gave it: an e-mail address,
    // or a host with an optional ":port".
    void callTyped(const QString &target);

    // The progress window (frmConStatus).
    bool windowOpen() const { return m_open; }
    // Whether an answer to an e-mail lookup is still awaited: the lookup's progress window is
    // open and no call has begun since. An answer at any other time is not used.
    bool awaitingEmail() const;
    // The lookup's answer: the call is placed to where it names, or the window says not found;
    // false when nobody waits for it any more.
    bool emailFound(const QString &name, const QString &location, const QString &address,
                    qint16 port);
    bool emailNotFound();
    QString userName() const { return m_name; }
    QString userLocation() const { return m_location; }
    QString status() const { return m_status; }
    // Why the call failed, shown under the status once it has.
    QString reason() const { return m_reason; }
    QString secondsText() const { return m_secondsText; }
    QString cancelText() const { return m_cancelText; }
    int frame() const { return m_frame; }
    // The e-mail lookup's answer fills these in before placing the call.
    void setUser(const QString &name, const QString &location);
    void tick();
    void cancel(); // Cancel or OK

    inline static const QString EstablishingText = QStringLiteral("Establishing Connection...");

signals:
    void windowOpened();
    void windowClosed();
    void changed();

private:
    void openWindow(const QString &name, const QString &location);
    void closeWindow();

    CallSession &m_session;
    CallSignalling &m_signalling;
    MediaSession &m_media;
    CallDirectory &m_directory;
    UserMessages &m_messages;
    QTimer m_timer;
    bool m_open = false;
    QString m_name, m_location;
    QString m_status = EstablishingText;
    QString m_reason;
    QString m_secondsText;
    QString m_cancelText = QStringLiteral("Cancel");
    int m_quarter = 0;
    int m_seconds = 0;
    int m_frame = 0;
};
