// Keeps the program reachable from behind a home router: at start-up, in the background, asks the
// router to forward the four listening ports to this machine, renews that before the lease ends,
// and removes it at exit. Whether to ask at all is the user's choice, kept in a small file of its
// own beside the settings ("router", the line "MapPorts=No" when turned off). The state is for
// anyone to read (Options, the About box, a connection check); each change is announced.
#pragma once

#include "router/routerclient.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QThread;

class PortMapping : public QObject
{
    Q_OBJECT
public:
    inline static const QString FileName = QStringLiteral("router");
    // At exit, how long the removal may hold the program up when the router is slow or gone.
    static constexpr int StopWaitMs = 3000;

    explicit PortMapping(const QString &folder, QObject *parent = nullptr);
    ~PortMapping() override;

    // The user's choice, read from the file (missing or unreadable: on); OVELA_MAP_PORTS ("No"
    // or "Yes") overrides it for one run.
    void load();
    bool enabled() const { return m_enabled; }
    // Saves the choice; turning it off removes the forwarding at once, on asks for it.
    void setEnabled(bool on);

    // Begins asking the router for insideBase to insideBase + 3, when enabled; returns at once.
    void start(quint16 insideBase);
    // Removes the forwarding and ends the router's thread, waiting at most waitMs.
    void stop(int waitMs = StopWaitMs);

    const PortMapState &state() const { return m_state; }
    bool routerFound() const { return m_state.routerFound(); }
    QString externalAddress() const { return m_state.externalAddress; }
    bool portsMapped() const { return m_state.portsMapped(); }
    QString lastError() const { return m_state.problem; }
    // The base port callers from outside reach: the router's, else the program's own.
    quint16 reachableBasePort() const;
    // One line for a person: what the router did.
    QString summary() const;

    QString path() const;

signals:
    void changed();
    void logEntry(const QString &line);
    // The base port that callers from outside reach has changed.
    void reachableBasePortChanged(quint16 port);

private:
    void received(const PortMapState &state, const QStringList &log);
    // Runs a request on the router's thread.
    void ask(const std::function<void(RouterClient &)> &request);
    void save();

    QString m_folder;
    bool m_enabled = true;
    quint16 m_insideBase = 0;
    PortMapState m_state;
    QThread *m_thread = nullptr;
    RouterClient *m_client = nullptr; // lives on m_thread
    QTimer m_renew;
};
