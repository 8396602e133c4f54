// A machine that answers by itself (a relative's always-on video phone, a door intercom): every
// call request is screened by the answering policy and answered at once or declined, with one
// log line for each decision and one when the call ends; the log also goes to standard error, a
// line each, for the journal. A caller whose address matches no online pal is looked up at the
// pal server again before the answer. The camera and the sound devices are looked for again
// before each call and every few seconds while they are missing, so a device that comes back is
// used and a missing one costs only its part of the call. Messages meant for a person go to
// standard error instead of a window nobody would close.
#pragma once

#include "calls/answeringpolicy.h"
#include "calls/callsession.h"
#include "calls/callsignalling.h"
#include "platform/usermessages.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class ActivityLog;
class AudioEngine;
class AudioPath;
class PalPresence;
class VideoPath;
struct PalList;

class UnattendedAnswering : public QObject
{
    Q_OBJECT
public:
    // How long a call waits for the pal server's fresh answer about who is online.
    static constexpr int PalCheckWaitMs = 5000;
    static constexpr int DeviceRetryMs = 10000;

    struct Deps {
        CallSignalling &signalling;
        CallSession &session;
        PalPresence &presence;
        PalList &pals;
        ActivityLog &log;
        VideoPath &video;
        AudioPath &audio;
        AudioEngine &audioEngine;
    };
    UnattendedAnswering(const Deps &deps, AnsweringPolicy::Mode mode, QObject *parent = nullptr);

    // Calls are screened from construction on; start() follows once the lists and the log are
    // loaded.
    void start();
    void stop();

    const AnsweringPolicy &policy() const { return m_policy; }

private:
    void screen(const CallSignalling::Caller &caller);
    void palListsChanged();
    void decide();
    void mediaStateChanged(MediaState state);
    // Looks for missing devices again and logs what changed.
    void checkDevices();
    QString who() const;

    Deps m_deps;
    AnsweringPolicy m_policy;
    CallSignalling::Caller m_caller;
    bool m_pending = false;    // a caller waits for the pal server's answer
    bool m_cycleAsked = false; // the fresh check of the pals has been started
    QTimer m_palWait;
    QTimer m_deviceRetry;
    bool m_camera = true, m_sound = true; // as last logged
    bool m_inCall = false;
    QString m_callWith;
    QElapsedTimer m_callClock;
};

// What the program would show in a window, written to standard error instead (the journal): a
// machine without a person must never wait for an OK. Questions are answered No.
class ConsoleMessages : public UserMessages
{
public:
    void showInfoMessage(const QString &text, std::function<void()> onOk = {}) override;
    void showErrorMessage(const QString &text) override;
    void messageBox(const QString &text, const QString &title = {}) override;
    bool askYesNo(const QString &text) override;
};
