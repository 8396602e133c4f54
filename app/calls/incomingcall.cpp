// The incoming-call prompt and the busy notice.
#include "incomingcall.h"

#include "userdata/activitylog.h"
#include "userdata/settings.h"

IncomingCall::IncomingCall(Settings &settings, ActivityLog &log, QObject *parent)
    : QObject(parent), m_settings(settings), m_log(log)
{
    m_promptTimer.setInterval(PromptTickMs);
    connect(&m_promptTimer, &QTimer::timeout, this, &IncomingCall::promptTick);
    // The busy notice's timer runs from start-up and hides the notice on each tick, so a notice
    // stays up for at most five seconds.
    m_busyTimer.setInterval(BusyTickMs);
    connect(&m_busyTimer, &QTimer::timeout, this, [this] {
        if (m_busyVisible) {
            m_busyVisible = false;
            emit busyChanged();
        }
    });
    m_busyTimer.start();
}

bool IncomingCall::autoAccepting() const
{
    return m_settings.AutoAccept || AutoAcceptOnce;
}

void IncomingCall::openCallPrompt(const QString &name, const QString &location)
{
    if (!m_open) {
        // Loading the prompt.
        m_open = true;
        m_autoAcceptChecked = m_settings.AutoAccept;
        m_message = AskText;
        m_buttonsVisible = true;
        m_promptTimer.start();
    }
    m_ticks = 0;
    if (autoAccepting()) {
        m_message = AutoAcceptText;
        m_buttonsVisible = false;
        emit accepted();
    }
    m_name = name;
    m_location = location;
    emit promptChanged();
}

void IncomingCall::answerYes()
{
    if (!m_open) return;
    emit accepted();
    closePrompt();
}

void IncomingCall::answerNo()
{
    if (!m_open) return;
    emit declined();
    closePrompt();
}

void IncomingCall::closePrompt()
{
    if (!m_open) return;
    m_open = false;
    m_promptTimer.stop();
    // However an auto-accepted prompt closes, the start-up call's one auto-accept is used up.
    if (m_message == AutoAcceptText) AutoAcceptOnce = false;
    // Ticking the box on a prompt decides auto-accept for the calls after this one.
    m_settings.AutoAccept = m_autoAcceptChecked;
    emit promptClosed();
}

void IncomingCall::promptTick()
{
    if (!m_open) return;
    ++m_ticks;
    if (autoAccepting()) {
        if (m_ticks >= AutoAcceptCloseTicks) {
            m_ticks = 0;
            AutoAcceptOnce = false;
            closePrompt();
        }
        return;
    }
    const int limit = m_settings.AutoDecTime;
    // A delay of zero or less declines on the first tick instead of never.
    if (m_ticks >= limit) {
        emit declined();
        m_log.addLogEntry(QStringLiteral("Auto-Declined call from: ") + m_name +
                          QStringLiteral(", ") + m_location);
        m_ticks = 0;
        emit autoDeclined(m_name, m_location);
        closePrompt();
        return;
    }
    if (m_ticks > limit - 10) {
        m_message = QStringLiteral("Auto-Declining Call in %1 Seconds.").arg(limit - m_ticks);
        emit promptChanged();
    }
}

void IncomingCall::showBusyNotice(const QString &name, const QString &location)
{
    m_busyName = name;
    m_busyLocation = location;
    m_busyVisible = true;
    emit busyChanged();
}
