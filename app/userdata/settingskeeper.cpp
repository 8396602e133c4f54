// Writing the settings as they change.
#include "settingskeeper.h"

#include "platform/usermessages.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

namespace
{

// The settings with the window places and sizes of `places`.
Settings withPlaces(Settings s, const Settings &places)
{
    s.WinPosLeft = places.WinPosLeft;
    s.WinPosTop = places.WinPosTop;
    s.DirWidth = places.DirWidth;
    s.DirHeight = places.DirHeight;
    return s;
}

} // namespace

SettingsKeeper::SettingsKeeper(Settings &settings, UserMessages &messages, QObject *parent)
    : QObject(parent), m_settings(settings), m_messages(messages)
{
    m_placementTimer.setSingleShot(true);
    m_placementTimer.setInterval(PlacementDelayMs);
    connect(&m_placementTimer, &QTimer::timeout, this, [this] {
        if (m_active && !(m_settings == m_written)) write();
    });
}

void SettingsKeeper::start(const QString &path, std::function<void()> capture)
{
    m_path = path;
    m_capture = std::move(capture);
    m_written = m_settings;
    m_hasFailed = false;
    if (!m_active) {
        if (auto *dispatcher = QAbstractEventDispatcher::instance(thread()))
            connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                    &SettingsKeeper::check);
    }
    m_active = true;
}

void SettingsKeeper::stop()
{
    m_active = false;
    m_placementTimer.stop();
    if (auto *dispatcher = QAbstractEventDispatcher::instance(thread()))
        disconnect(dispatcher, nullptr, this, nullptr);
}

void SettingsKeeper::check()
{
    if (!m_active || m_busy) return;
    if (m_capture) m_capture();
    if (m_settings == m_written) {
        m_placementTimer.stop();
        return;
    }
    if (m_hasFailed && m_settings == m_failed) return;
    if (!(withPlaces(m_settings, m_written) == m_written)) {
        write(); // more than places and sizes: at once
        return;
    }
    if (!m_placementTimer.isActive() || !(m_settings == m_placing)) {
        m_placing = m_settings;
        m_placementTimer.start();
    }
}

void SettingsKeeper::write()
{
    m_placementTimer.stop();
    const Settings attempt = m_settings;
    QString error;
    if (saveSettings(m_path, attempt, &error)) {
        m_written = attempt;
        m_hasFailed = false;
        return;
    }
    const bool firstFailure = !m_hasFailed;
    m_failed = attempt;
    m_hasFailed = true;
    if (!firstFailure) return;
    // The message may open a window and run events: no look meanwhile.
    m_busy = true;
    m_messages.showErrorMessage(QStringLiteral("Could not save the settings, ") + error);
    m_busy = false;
}
