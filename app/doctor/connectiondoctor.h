// The connection doctor: the checks that tell a person why a call does not come through, run one
// after another, each with a plain verdict and what to do. The network and its default route;
// the directory server's name, and the directory and pal servers themselves; the call ports
// (free, OVELA's own, or taken by which program); the router; whether the call ports can be
// reached from outside (the directory server connects back to them when asked: an older server
// does not answer, and the doctor says it could not check); the sound devices and the cameras.
//
// Everything is checked on the real network and devices. When this program does not listen on
// the call ports itself (the doctor run from the command line), the doctor holds the free ones
// while it runs, so that the connection back has something to reach.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class PortMapping;
class QTcpServer;
class QTcpSocket;

struct DoctorCheck {
    enum Verdict { Fine, Warning, Problem, NotChecked };
    explicit DoctorCheck(const QString &title = {}) : title(title) {}
    QString title; // "Network"
    Verdict verdict = NotChecked;
    QString finding; // what was found
    QString advice;  // what to do about it; empty when there is nothing to do
};

// What the router was asked and answered, as the port mapping knows it.
struct RouterReport {
    bool asked = false; // false: the user turned the mapping off
    bool done = false;  // false: still looking for a router
    bool found = false;
    QString kind;            // "UPnP IGD", "NAT-PMP"
    QString externalAddress; // the router's outside address
    int portsMapped = 0;
    quint16 outsideBase = 0; // the first port the router forwards; 0: none
    QString note;            // set: the router was not asked here, and why
    int portsWanted = 4;
    QString error;

    // What the program's port mapping has done so far.
    static RouterReport of(const PortMapping &mapping);
};

struct DoctorSetup {
    QString directoryHost; // empty: none chosen
    quint16 directoryPort = 2010;
    QString palHost;
    quint16 palPort = 2015;
    quint16 basePort = 2000; // the call ports are this and the next three
    // The cameras' names; whether a sound device opens (empty) or why not.
    std::function<QStringList()> cameras;
    std::function<QString(bool recording)> openSound;
    // The router as the port mapping saw it; unset when this program has none.
    std::function<RouterReport()> router;
    int connectTimeoutMs = 5000;
    int reachTimeoutMs = 10000;
};

class ConnectionDoctor : public QObject
{
    Q_OBJECT
public:
    explicit ConnectionDoctor(QObject *parent = nullptr);
    ~ConnectionDoctor() override;

    // Where the setup comes from, read at each run (the settings may have changed).
    void setSetupSource(std::function<DoctorSetup()> source) { m_source = std::move(source); }
    // Runs every check again, from the first; a run under way is dropped.
    void run();
    bool running() const { return m_running; }
    const QList<DoctorCheck> &checks() const { return m_checks; }
    // No check found a problem (warnings and checks that could not be made allowed).
    bool callsCanWork() const;

    // "Everything a call needs is fine.", "2 problems stand in the way of calls." or, while
    // running, "Checking...".
    QString summary() const;
    // The checks so far and the summary as plain text, a line or two each, as the command line
    // prints them and Copy copies them.
    QString report() const;
    static QString verdictText(DoctorCheck::Verdict verdict); // "fine", "warning", ...

signals:
    void started();
    void checkDone(const DoctorCheck &check);
    void finished();

private:
    void next();
    void done(DoctorCheck check);
    void checkNetwork();
    void checkName();
    void checkServer(bool pal);
    void checkPorts();
    void checkRouter();
    void checkReach();
    void checkSound();
    void checkCameras();
    void reachAnswered(const QByteArray &line);
    void finishReach(bool timedOut);
    void releasePorts();
    void dropReachSocket();

    std::function<DoctorSetup()> m_source;
    DoctorSetup m_setup;
    QList<DoctorCheck> m_checks;
    int m_step = 0;
    quint64 m_run = 0; // answers of an earlier run are dropped
    bool m_running = false;
    QString m_directoryAddress; // as the name resolved
    quint16 m_reachBase = 0;    // the call ports as callers from outside reach them
    std::vector<std::unique_ptr<QTcpServer>> m_heldPorts;
    QTcpSocket *m_socket = nullptr; // the reach check's connection to the directory
    QByteArray m_received;
    QList<int> m_reached, m_notReached;
    QElapsedTimer m_clock;
};
