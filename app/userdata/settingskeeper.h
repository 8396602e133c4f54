// Keeps ovela.ini in step with the settings while the program runs, so a crash, a kill or a
// power cut loses nothing the user set. Whenever the program has finished handling what happened
// (its event loop is about to wait), settings that differ from what the file holds are written:
// at once, or half a second after the last change when only window places and sizes changed, so a
// window being dragged is written once rather than on every step.
#pragma once

#include "settings.h"

#include <QObject>
#include <QTimer>
#include <functional>

class UserMessages;

class SettingsKeeper : public QObject
{
    Q_OBJECT
public:
    static constexpr int PlacementDelayMs = 500;

    SettingsKeeper(Settings &settings, UserMessages &messages, QObject *parent = nullptr);

    // From now on, changes go to `path`; what the settings hold now is taken to be what the file
    // holds. `capture` runs before each look and copies into the settings what lives elsewhere
    // (the windows' places and which of them are open).
    void start(const QString &path, std::function<void()> capture = {});
    void stop();
    bool active() const { return m_active; }

    // Writes now what differs from the file; a failure is reported once, and the same settings
    // are not tried again until they change.
    void check();

private:
    void write();

    Settings &m_settings;
    UserMessages &m_messages;
    QString m_path;
    std::function<void()> m_capture;
    Settings m_written; // what the file holds
    Settings m_failed;  // what could not be written last
    bool m_hasFailed = false;
    Settings m_placing; // the places and sizes waiting for the delay
    QTimer m_placementTimer;
    bool m_active = false;
    bool m_busy = false;
};
