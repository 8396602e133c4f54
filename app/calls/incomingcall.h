// What happens to a call request on this side, without the windows: the incoming-call prompt
// (answer, auto-accept, the auto-decline countdown) and the busy notice.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

struct Settings;
class ActivityLog;

class IncomingCall : public QObject
{
    Q_OBJECT
public:
    static constexpr int PromptTickMs = 1000;
    static constexpr int BusyTickMs = 5000;
    static constexpr int AutoAcceptCloseTicks = 5;

    IncomingCall(Settings &settings, ActivityLog &log, QObject *parent = nullptr);

    // Set when the program was started with an address: the next call is accepted by itself.
    bool AutoAcceptOnce = false;

    // The prompt (frmCallIn).
    void openCallPrompt(const QString &name, const QString &location);
    bool promptOpen() const { return m_open; }
    QString userName() const { return m_name; }
    QString userLocation() const { return m_location; }
    QString message() const { return m_message; }
    bool buttonsVisible() const { return m_buttonsVisible; }
    bool autoAcceptChecked() const { return m_autoAcceptChecked; }
    void setAutoAcceptChecked(bool on) { m_autoAcceptChecked = on; }
    int tickCount() const { return m_ticks; }
    void answerYes();
    void answerNo();
    void closePrompt();
    // One tick of the prompt's one-second timer.
    void promptTick();

    // The busy notice (frmBusyNotify).
    void showBusyNotice(const QString &name, const QString &location);
    bool busyVisible() const { return m_busyVisible; }
    QString busyName() const { return m_busyName; }
    QString busyLocation() const { return m_busyLocation; }

    inline static const QString AskText = QStringLiteral("Would you like to accept this call?");
    inline static const QString AutoAcceptText = QStringLiteral("Auto Accepting this Call");

signals:
    // The answer goes to the caller on control connection 1.
    void accepted();
    void declined();
    void promptChanged();
    void promptClosed();
    // Nobody answered: the countdown declined the call.
    void autoDeclined(const QString &name, const QString &location);
    void busyChanged();

private:
    bool autoAccepting() const;

    Settings &m_settings;
    ActivityLog &m_log;
    QTimer m_promptTimer;
    QTimer m_busyTimer;
    bool m_open = false;
    QString m_name, m_location, m_message = AskText;
    bool m_buttonsVisible = true;
    bool m_autoAcceptChecked = false;
    int m_ticks = 0;
    bool m_busyVisible = false;
    QString m_busyName, m_busyLocation;
};
