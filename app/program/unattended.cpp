// Answering by itself.
#include "unattended.h"

#include "directory/palpresence.h"
#include "media/audioengine.h"
#include "media/audiopath.h"
#include "media/videopath.h"
#include "userdata/activitylog.h"
#include "userdata/lists.h"

#include <cstdio>

namespace
{
void toStandardError(const QString &line)
{
    std::fprintf(stderr, "%s\n", qPrintable(QString(line).replace(QLatin1Char('\n'), u' ')));
    std::fflush(stderr);
}
} // namespace

UnattendedAnswering::UnattendedAnswering(const Deps &deps, AnsweringPolicy::Mode mode,
                                         QObject *parent)
    : QObject(parent), m_deps(deps), m_policy(mode, deps.pals)
{
    m_palWait.setSingleShot(true);
    m_palWait.setInterval(PalCheckWaitMs);
    connect(&m_palWait, &QTimer::timeout, this, &UnattendedAnswering::decide);
    connect(&m_deps.presence, &PalPresence::palListsChanged, this,
            &UnattendedAnswering::palListsChanged);
    m_deviceRetry.setInterval(DeviceRetryMs);
    connect(&m_deviceRetry, &QTimer::timeout, this, [this] {
        if (m_deps.session.mediaState() == MediaState::None) checkDevices();
    });
    connect(&m_deps.session, &CallSession::mediaStateChanged, this,
            &UnattendedAnswering::mediaStateChanged);
    // From the first moment the listeners are up: a call before the lists are read is declined
    // rather than left to a prompt nobody sees.
    m_deps.signalling.setScreen([this](const CallSignalling::Caller &c) { screen(c); });
}

void UnattendedAnswering::start()
{
    const AnsweringPolicy::Mode mode = m_policy.mode();
    QString line = QStringLiteral("Answering by itself: ") + AnsweringPolicy::nameOf(mode);
    if (mode == AnsweringPolicy::Mode::List) {
        int skipped = 0;
        if (!m_policy.loadList(AnsweringPolicy::ListFileName, &skipped))
            line += QStringLiteral(" (%1 cannot be read: nobody is answered)")
                        .arg(AnsweringPolicy::ListFileName);
        else
            line += QStringLiteral(" (%1 callers, %2 lines skipped)")
                        .arg(m_policy.listSize())
                        .arg(skipped);
    } else if (mode == AnsweringPolicy::Mode::Pals) {
        line += QStringLiteral(" (%1 pals)").arg(m_deps.pals.count());
        // Who is online is asked every 45 seconds, as while the directory window is open.
        m_deps.presence.setWindowVisible(true);
    }
    // From the start-up line on (the older lines are in the file), every line; a trim of the
    // log shows the line that caused it.
    if (!m_deps.log.entries().isEmpty()) toStandardError(m_deps.log.entries().last());
    connect(&m_deps.log, &ActivityLog::entryAdded, this, &toStandardError);
    connect(&m_deps.log, &ActivityLog::reset, this, [this] {
        if (!m_deps.log.entries().isEmpty()) toStandardError(m_deps.log.entries().last());
    });
    m_deps.log.addLogEntry(line);
    checkDevices();
    m_deviceRetry.start();
}

void UnattendedAnswering::stop()
{
    m_deps.signalling.setScreen({});
    m_deviceRetry.stop();
    m_palWait.stop();
    m_pending = false;
}

QString UnattendedAnswering::who() const
{
    return m_caller.name + QStringLiteral(" of ") + m_caller.location + QStringLiteral(" at ") +
           m_caller.host;
}

void UnattendedAnswering::screen(const CallSignalling::Caller &caller)
{
    m_caller = caller;
    m_pending = false;
    m_palWait.stop();
    // The pal table may be up to a cycle old: a pal who came online or moved since is asked
    // about again before the call is declined.
    if (m_policy.mode() == AnsweringPolicy::Mode::Pals && m_deps.pals.count() > 0 &&
        !m_policy.check(caller.name, caller.host).answer) {
        m_pending = true;
        // A cycle under way is started again: the answer it awaits is then ignored.
        m_cycleAsked = m_deps.presence.connected();
        if (m_cycleAsked)
            m_deps.presence.startCycle();
        else
            m_deps.presence.connectPalServer(); // at once, not after the pause between tries
        m_palWait.start();
        return;
    }
    decide();
}

void UnattendedAnswering::palListsChanged()
{
    if (!m_pending) return;
    if (m_cycleAsked) {
        if (m_deps.pals.PalCheckPos == 0) decide(); // the cycle is over
        return;
    }
    if (!m_deps.presence.connected()) return;
    // The connection is up: the cycle follows the login.
    m_cycleAsked = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_pending) m_deps.presence.startCycle();
        },
        Qt::QueuedConnection);
}

void UnattendedAnswering::decide()
{
    m_pending = false;
    m_palWait.stop();
    const AnsweringPolicy::Verdict verdict = m_policy.check(m_caller.name, m_caller.host);
    if (verdict.answer) checkDevices(); // a camera plugged in since the last look is used
    if (!m_deps.signalling.answerScreened(verdict.answer)) {
        m_deps.log.addLogEntry(QStringLiteral("Caller left before the answer: ") + who());
        return;
    }
    if (verdict.answer) {
        m_callWith = who();
        m_callClock.start();
    }
    m_deps.log.addLogEntry(
        (verdict.answer ? QStringLiteral("Answered ") : QStringLiteral("Declined ")) + who() +
        QStringLiteral(": ") + verdict.reason);
}

void UnattendedAnswering::mediaStateChanged(MediaState state)
{
    if (state == MediaState::Established) {
        m_inCall = true;
        return;
    }
    if (state != MediaState::None || m_callWith.isEmpty()) return;
    const qint64 seconds = m_callClock.isValid() ? m_callClock.elapsed() / 1000 : 0;
    m_deps.log.addLogEntry(QStringLiteral("Call with %1 ended after %2 s%3")
                               .arg(m_callWith)
                               .arg(seconds)
                               .arg(m_inCall ? QString() : QStringLiteral(" (never connected)")));
    m_callWith.clear();
    m_inCall = false;
}

void UnattendedAnswering::checkDevices()
{
    const bool camera = m_deps.video.captureAvailable() && m_deps.video.cameraOn()
                            ? true
                            : m_deps.video.retryCapture();
    bool sound = m_deps.audio.available();
    if (!sound) {
        sound = m_deps.audioEngine.hasAudio() && m_deps.audioEngine.usable();
        m_deps.audio.setAvailable(sound);
    }
    if (camera != m_camera)
        m_deps.log.addLogEntry(camera ? QStringLiteral("Camera found: calls carry pictures")
                                      : QStringLiteral("No camera: calls go without pictures "
                                                       "until one is found"));
    if (sound != m_sound)
        m_deps.log.addLogEntry(sound ? QStringLiteral("Sound device found: calls carry sound")
                                     : QStringLiteral("No sound device: calls go without sound "
                                                      "until one is found"));
    m_camera = camera;
    m_sound = sound;
}

void ConsoleMessages::showInfoMessage(const QString &text, std::function<void()>)
{
    toStandardError(QStringLiteral("ovela: ") + text);
}

void ConsoleMessages::showErrorMessage(const QString &text)
{
    toStandardError(QStringLiteral("ovela: error: ") + text);
}

void ConsoleMessages::messageBox(const QString &text, const QString &)
{
    toStandardError(QStringLiteral("ovela: ") + text);
}

bool ConsoleMessages::askYesNo(const QString &text)
{
    toStandardError(QStringLiteral("ovela: ") + text + QStringLiteral(" (answered No)"));
    return false;
}
