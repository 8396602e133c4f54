// The connection doctor's checks.
#include "connectiondoctor.h"

#include "doctor/portowner.h"
#include "platform/netaddress.h"
#include "protocol/directory.h"
#include "protocol/linesplitter.h"
#include "router/portmapping.h"
#include "router/portmapplan.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace
{

enum Step {
    Network,
    Name,
    DirectoryServer,
    PalServer,
    Ports,
    Router,
    Reach,
    Sound,
    Cameras,
    Steps
};

// "2000 to 2003", "2001", "2000, 2002"
QString portsText(const QList<int> &ports)
{
    if (ports.size() > 2 && ports.last() - ports.first() == ports.size() - 1)
        return QStringLiteral("%1 to %2").arg(ports.first()).arg(ports.last());
    QStringList parts;
    for (int p : ports)
        parts << QString::number(p);
    return parts.join(QStringLiteral(", "));
}

QList<int> callPorts(quint16 base)
{
    return {base, base + 1, base + 2, base + 3};
}

// The default route's gateway and interface from /proc/net/route; false when there is none.
bool defaultRoute(QString *gateway, QString *interface)
{
    QFile routes(QStringLiteral("/proc/net/route"));
    if (!routes.open(QIODevice::ReadOnly)) return false;
    routes.readLine();
    for (QByteArray line = routes.readLine(); !line.isEmpty(); line = routes.readLine()) {
        const QList<QByteArray> f = line.simplified().split(' ');
        // Iface Destination Gateway Flags ...; addresses in hexadecimal, lowest byte first.
        if (f.size() < 4 || f[1] != "00000000" || !(f[3].toUInt(nullptr, 16) & 1)) continue;
        const quint32 g = f[2].toUInt(nullptr, 16);
        *gateway = QStringLiteral("%1.%2.%3.%4")
                       .arg(g & 0xff)
                       .arg((g >> 8) & 0xff)
                       .arg((g >> 16) & 0xff)
                       .arg(g >> 24);
        *interface = QString::fromLatin1(f[0]);
        return true;
    }
    return false;
}

// Private, shared or loopback: an address the internet does not route to.
bool isPrivate(const QString &address)
{
    const QHostAddress a(address);
    for (const auto &[network, bits] :
         {std::pair{"10.0.0.0", 8}, {"172.16.0.0", 12}, {"192.168.0.0", 16}, {"100.64.0.0", 10}})
        if (a.isInSubnet(QHostAddress(QLatin1String(network)), bits)) return true;
    return a.isLoopback() || a.isLinkLocal();
}

} // namespace

RouterReport RouterReport::of(const PortMapping &mapping)
{
    const PortMapState &state = mapping.state();
    RouterReport r;
    r.asked = mapping.enabled();
    r.done = state.searched;
    r.found = state.routerFound();
    r.kind = state.methodName();
    r.externalAddress = state.externalAddress;
    r.portsMapped = state.portsMapped() ? PortMapPlan::PortCount : 0;
    r.portsWanted = PortMapPlan::PortCount;
    r.outsideBase = state.outsideBase;
    r.error = state.problem;
    return r;
}

ConnectionDoctor::ConnectionDoctor(QObject *parent) : QObject(parent) {}

ConnectionDoctor::~ConnectionDoctor() = default;

QString ConnectionDoctor::verdictText(DoctorCheck::Verdict verdict)
{
    switch (verdict) {
    case DoctorCheck::Fine:
        return QStringLiteral("fine");
    case DoctorCheck::Warning:
        return QStringLiteral("warning");
    case DoctorCheck::Problem:
        return QStringLiteral("problem");
    case DoctorCheck::NotChecked:
        break;
    }
    return QStringLiteral("not checked");
}

QString ConnectionDoctor::summary() const
{
    if (m_running) return QStringLiteral("Checking...");
    int problems = 0;
    for (const DoctorCheck &c : m_checks)
        problems += c.verdict == DoctorCheck::Problem;
    if (problems == 0) return QStringLiteral("Everything a call needs is fine.");
    return problems == 1 ? QStringLiteral("One problem stands in the way of calls.")
                         : QStringLiteral("%1 problems stand in the way of calls.").arg(problems);
}

QString ConnectionDoctor::report() const
{
    QString text;
    for (const DoctorCheck &c : m_checks) {
        text += QStringLiteral("[%1] %2: %3\n").arg(verdictText(c.verdict), c.title, c.finding);
        if (!c.advice.isEmpty()) text += QStringLiteral("    What to do: %1\n").arg(c.advice);
    }
    return text + summary() + QLatin1Char('\n');
}

bool ConnectionDoctor::callsCanWork() const
{
    for (const DoctorCheck &c : m_checks)
        if (c.verdict == DoctorCheck::Problem) return false;
    return true;
}

void ConnectionDoctor::run()
{
    ++m_run;
    dropReachSocket();
    releasePorts();
    m_setup = m_source ? m_source() : DoctorSetup{};
    m_checks.clear();
    m_step = 0;
    m_directoryAddress.clear();
    m_reachBase = m_setup.basePort;
    m_running = true;
    emit started();
    next();
}

void ConnectionDoctor::next()
{
    if (m_step >= Steps) {
        releasePorts();
        m_running = false;
        emit finished();
        return;
    }
    switch (Step(m_step++)) {
    case Network:
        return checkNetwork();
    case Name:
        return checkName();
    case DirectoryServer:
        return checkServer(false);
    case PalServer:
        return checkServer(true);
    case Ports:
        return checkPorts();
    case Router:
        return checkRouter();
    case Reach:
        return checkReach();
    case Sound:
        return checkSound();
    case Cameras:
    case Steps:
        return checkCameras();
    }
}

void ConnectionDoctor::done(DoctorCheck check)
{
    m_checks.append(check);
    emit checkDone(check);
    // The next check after this event: a window shows each verdict as it comes.
    QTimer::singleShot(0, this, [this, run = m_run] {
        if (run == m_run) next();
    });
}

void ConnectionDoctor::checkNetwork()
{
    DoctorCheck c{QStringLiteral("Network")};
    QString gateway, interface;
    const QString address = NetAddress::localMachineAddress();
    if (!NetAddress::hasNetwork()) {
        c.verdict = DoctorCheck::Problem;
        c.finding = QStringLiteral("No network: no interface is up with an IPv4 address, so only "
                                   "this machine itself can be reached.");
        c.advice = QStringLiteral("Plug in the network cable or join a Wi-Fi network, then run "
                                  "the doctor again.");
    } else if (!defaultRoute(&gateway, &interface)) {
        c.verdict = DoctorCheck::Warning;
        c.finding = QStringLiteral("This machine is %1 on the local network, but has no default "
                                   "route: nothing beyond the local network can be reached.")
                        .arg(address);
        c.advice = QStringLiteral("Check the network settings (the gateway) or the connection "
                                  "to the router.");
    } else {
        c.verdict = DoctorCheck::Fine;
        c.finding = QStringLiteral("This machine is %1; the default route goes through %2 (%3).")
                        .arg(address, gateway, interface);
    }
    done(c);
}

void ConnectionDoctor::checkName()
{
    DoctorCheck c{QStringLiteral("Directory server's name")};
    const QString host = m_setup.directoryHost;
    if (host.isEmpty()) {
        c.finding = QStringLiteral("No directory server is chosen.");
        c.advice = QStringLiteral("Choose one in the directory window.");
        return done(c);
    }
    QHostAddress literal;
    bool isName = false;
    if (NetAddress::literal(host, &literal, &isName)) {
        c.verdict = DoctorCheck::Warning;
        c.finding = QStringLiteral("%1 is no address this program can use.").arg(host);
        c.advice = QStringLiteral("Choose the directory server again in the directory window.");
        return done(c);
    }
    if (!isName) {
        m_directoryAddress = NetAddress::text(literal);
        c.verdict = DoctorCheck::Fine;
        c.finding = QStringLiteral("%1 is an address: there is no name to look up.").arg(host);
        return done(c);
    }
    m_clock.start();
    NetAddress::lookUp(host, this,
                       [this, c, host, run = m_run](const EndpointError &error,
                                                    const QHostAddress &address) mutable {
                           if (run != m_run) return;
                           if (error) {
                               c.verdict = DoctorCheck::Warning;
                               c.finding = QStringLiteral("The name %1 could not be found (%2).")
                                               .arg(host, error.description);
                               c.advice = QStringLiteral(
                                   "Check its spelling in the directory window, and that this "
                                   "network's name server (DNS) works: can a web browser open "
                                   "a web site?");
                           } else {
                               m_directoryAddress = NetAddress::text(address);
                               c.verdict = DoctorCheck::Fine;
                               c.finding = QStringLiteral("%1 is %2 (looked up in %3 ms).")
                                               .arg(host, m_directoryAddress)
                                               .arg(m_clock.elapsed());
                           }
                           done(c);
                       });
}

void ConnectionDoctor::checkServer(bool pal)
{
    DoctorCheck c{pal ? QStringLiteral("Pal server") : QStringLiteral("Directory server")};
    const QString host =
        pal ? m_setup.palHost
            : (m_directoryAddress.isEmpty() ? m_setup.directoryHost : m_directoryAddress);
    const quint16 port = pal ? m_setup.palPort : m_setup.directoryPort;
    const QString shown =
        (pal ? m_setup.palHost : m_setup.directoryHost) + QStringLiteral(":%1").arg(port);
    if (host.isEmpty() || (!pal && m_directoryAddress.isEmpty())) {
        c.finding = pal ? QStringLiteral("This program has no pal server.")
                        : QStringLiteral("Not tried: the directory server's name was not "
                                         "found.");
        return done(c);
    }
    auto *socket = new QTcpSocket(this);
    auto *timer = new QTimer(socket);
    timer->setSingleShot(true);
    auto finish = [this, c, shown, socket, timer, pal, run = m_run](bool timedOut) mutable {
        socket->disconnect(this);
        timer->stop();
        socket->deleteLater(); // after the signal being handled
        if (run != m_run) return;
        if (!timedOut && socket->state() == QAbstractSocket::ConnectedState) {
            c.verdict = DoctorCheck::Fine;
            c.finding = QStringLiteral("%1 answered in %2 ms.").arg(shown).arg(m_clock.elapsed());
        } else if (timedOut) {
            c.verdict = DoctorCheck::Warning;
            c.finding = QStringLiteral("No answer from %1 within %2 s: a firewall on the way may "
                                       "drop the connection.")
                            .arg(shown)
                            .arg(m_setup.connectTimeoutMs / 1000);
            c.advice = QStringLiteral("A firewall on this network must let TCP port %1 out.")
                           .arg(shown.section(QLatin1Char(':'), -1));
        } else if (socket->error() == QAbstractSocket::ConnectionRefusedError) {
            c.verdict = DoctorCheck::Warning;
            c.finding = QStringLiteral("Nothing answers at %1: the server is not running, or "
                                       "the port is wrong.")
                            .arg(shown);
            c.advice = pal ? QStringLiteral("Pals' presence and quick messages to e-mail "
                                            "addresses wait until it is back.")
                           : QStringLiteral("Try again later, or choose another directory "
                                            "server in the directory window.");
        } else {
            c.verdict = DoctorCheck::Warning;
            c.finding =
                QStringLiteral("%1 could not be reached: %2.").arg(shown, socket->errorString());
            c.advice = QStringLiteral("Check the network, then run the doctor again.");
        }
        socket->abort();
        done(c);
    };
    connect(socket, &QTcpSocket::connected, this, [finish]() mutable { finish(false); });
    connect(socket, &QTcpSocket::errorOccurred, this, [finish]() mutable { finish(false); });
    connect(timer, &QTimer::timeout, this, [finish]() mutable { finish(true); });
    m_clock.start();
    timer->start(m_setup.connectTimeoutMs);
    socket->connectToHost(host, port);
}

void ConnectionDoctor::checkPorts()
{
    DoctorCheck c{QStringLiteral("Call ports")};
    const qint64 self = QCoreApplication::applicationPid();
    QList<int> ours, free, others;
    QStringList taken;
    for (int port : callPorts(m_setup.basePort)) {
        const std::optional<PortOwner> owner = tcpPortOwner(quint16(port));
        if (owner && (owner->pid == self || owner->name == QLatin1String("ovela"))) {
            ours << port;
            continue;
        }
        if (!owner) {
            auto server = std::make_unique<QTcpServer>();
            if (server->listen(QHostAddress::AnyIPv4, quint16(port))) {
                m_heldPorts.push_back(std::move(server));
                free << port;
                continue;
            }
        }
        others << port;
        taken << (owner && !owner->name.isEmpty()
                      ? QStringLiteral("port %1 by %2 (process %3)")
                            .arg(port)
                            .arg(owner->name)
                            .arg(owner->pid)
                      : QStringLiteral("port %1 by a program of another user").arg(port));
    }
    if (!others.isEmpty()) {
        c.verdict = DoctorCheck::Problem;
        c.finding = QStringLiteral("Calls cannot come in: %1 %2 taken.")
                        .arg(taken.join(QStringLiteral(", ")))
                        .arg(others.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"));
        c.advice = QStringLiteral("Close that program, or start OVELA on other ports: ovela "
                                  "--base-port %1 (it then uses ports %1 to %2).")
                       .arg(m_setup.basePort + 100)
                       .arg(m_setup.basePort + 103);
    } else if (free.isEmpty()) {
        c.verdict = DoctorCheck::Fine;
        c.finding = QStringLiteral("OVELA listens on ports %1.").arg(portsText(ours));
    } else {
        c.verdict = DoctorCheck::Fine;
        c.finding = QStringLiteral("Ports %1 are free: OVELA listens there when it runs.")
                        .arg(portsText(free + ours));
    }
    done(c);
}

void ConnectionDoctor::checkRouter()
{
    DoctorCheck c{QStringLiteral("Router")};
    const QString ports = portsText(callPorts(m_setup.basePort));
    const QString here = NetAddress::localMachineAddress();
    if (!m_setup.router) {
        c.finding = QStringLiteral("This program does not ask routers to open ports.");
        return done(c);
    }
    const RouterReport r = m_setup.router();
    const QString outside = r.outsideBase && r.outsideBase != m_setup.basePort
                                ? QStringLiteral("its ports %1 to ports %2 here")
                                      .arg(portsText(callPorts(r.outsideBase)), ports)
                                : QStringLiteral("ports %1 here").arg(ports);
    if (!r.note.isEmpty()) {
        c.finding = r.note;
    } else if (!r.asked) {
        c.finding = QStringLiteral("Asking the router to open the call ports is turned off.");
        c.advice = QStringLiteral("Turn it on in Options, or forward TCP ports %1 to %2 in the "
                                  "router's settings.")
                       .arg(ports, here);
    } else if (!r.done) {
        c.finding = QStringLiteral("Still looking for a router; run the doctor again in a "
                                   "moment.");
    } else if (!r.found) {
        c.verdict = DoctorCheck::Warning;
        c.finding = QStringLiteral("No router answered (UPnP or NAT-PMP)%1.")
                        .arg(r.error.isEmpty() ? QString() : QStringLiteral(": ") + r.error);
        c.advice = QStringLiteral("If this machine is behind a router, turn on UPnP in it, or "
                                  "forward TCP ports %1 to %2 by hand.")
                       .arg(ports, here);
    } else if (r.portsMapped < r.portsWanted) {
        c.verdict = DoctorCheck::Warning;
        c.finding = QStringLiteral("The router (%1) forwards %2 of the %3 call ports%4.")
                        .arg(r.kind)
                        .arg(r.portsMapped)
                        .arg(r.portsWanted)
                        .arg(r.error.isEmpty() ? QString() : QStringLiteral(": ") + r.error);
        c.advice =
            QStringLiteral("Forward TCP ports %1 to %2 in the router's settings.").arg(ports, here);
    } else if (!r.error.isEmpty()) { // forwarded, but the outside may still not reach it
        m_reachBase = r.outsideBase;
        c.verdict = DoctorCheck::Warning;
        c.finding =
            QStringLiteral("The router (%1) forwards %2, but: %3").arg(r.kind, outside, r.error);
        c.advice = QStringLiteral("Another router (often the Internet provider's) may sit in "
                                  "front of yours: it must forward the ports too, or ask the "
                                  "provider for a public address.");
    } else {
        m_reachBase = r.outsideBase;
        c.verdict = DoctorCheck::Fine;
        c.finding = QStringLiteral("The router (%1) forwards %2; its outside address is %3.")
                        .arg(r.kind, outside, r.externalAddress);
    }
    done(c);
}

void ConnectionDoctor::checkReach()
{
    DoctorCheck c{QStringLiteral("Reachable from outside")};
    if (m_directoryAddress.isEmpty()) {
        c.finding = QStringLiteral("It needs the directory server, which was not found.");
        return done(c);
    }
    m_reached.clear();
    m_notReached.clear();
    m_received.clear();
    m_socket = new QTcpSocket(this);
    const quint64 run = m_run;
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        QByteArray asks;
        for (int port : callPorts(m_reachBase))
            asks += Directory::build(Directory::ReachCheck{qint16(port)});
        m_socket->write(asks);
    });
    connect(m_socket, &QTcpSocket::readyRead, this, [this] {
        m_received += m_socket->read(64 * 1024);
        for (qsizetype end; (end = m_received.indexOf(Directory::Terminator)) >= 0;) {
            reachAnswered(m_received.left(end));
            m_received.remove(0, end + Directory::Terminator.size());
            if (!m_socket) return; // every answer came
        }
        if (m_received.size() > 64 * 1024) m_received.clear(); // no line of ours is that long
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] { finishReach(false); });
    QTimer::singleShot(m_setup.reachTimeoutMs, this, [this, run] {
        if (run == m_run && m_socket) finishReach(true);
    });
    m_socket->connectToHost(m_directoryAddress, m_setup.directoryPort);
}

void ConnectionDoctor::reachAnswered(const QByteArray &line)
{
    const Directory::Reply reply = Directory::parseReply(line);
    const auto *answer = std::get_if<Directory::ReachAnswer>(&reply);
    if (!answer) return;
    const QList<int> ports = callPorts(m_reachBase);
    const int port = answer->port;
    if (!ports.contains(port) || m_reached.contains(port) || m_notReached.contains(port)) return;
    (answer->reached ? m_reached : m_notReached) << port;
    if (m_reached.size() + m_notReached.size() == ports.size()) finishReach(false);
}

void ConnectionDoctor::finishReach(bool timedOut)
{
    if (!m_socket) return;
    dropReachSocket();
    std::sort(m_reached.begin(), m_reached.end());
    std::sort(m_notReached.begin(), m_notReached.end());

    DoctorCheck c{QStringLiteral("Reachable from outside")};
    const QString server = m_setup.directoryHost;
    const QString ports = portsText(callPorts(m_reachBase));
    const QString caveat =
        isPrivate(m_directoryAddress)
            ? QStringLiteral(" The directory server is on your own network, so this says "
                             "nothing about callers on the internet.")
            : QString();
    if (m_reached.isEmpty() && m_notReached.isEmpty()) {
        c.finding = timedOut ? QStringLiteral("Could not check: the directory server %1 does "
                                              "not make this check (an older server).")
                                   .arg(server)
                             : QStringLiteral("Could not check: the connection to the directory "
                                              "server %1 failed.")
                                   .arg(server);
    } else if (m_notReached.isEmpty() && m_reached.size() == 4) {
        c.verdict = DoctorCheck::Fine;
        c.finding = QStringLiteral("The directory server %1 reached ports %2 of this machine: "
                                   "people can call you.%3")
                        .arg(server, ports, caveat);
    } else {
        const QList<int> missing = m_notReached;
        c.verdict = DoctorCheck::Problem;
        c.finding =
            QStringLiteral("The directory server %1 could not reach port%2 %3 of this "
                           "machine: people outside cannot call you (you can still call "
                           "them).%4")
                .arg(server, missing.size() == 1 ? QString() : QStringLiteral("s"),
                     portsText(missing.isEmpty() ? callPorts(m_reachBase) : missing), caveat);
        c.advice = QStringLiteral("Let OVELA ask the router to open them (Options), turn on UPnP "
                                  "in the router, or forward TCP ports %1 to %2 by hand; a "
                                  "firewall on this machine must let them in too.")
                       .arg(ports, NetAddress::localMachineAddress());
    }
    done(c);
}

void ConnectionDoctor::checkSound()
{
    DoctorCheck c{QStringLiteral("Sound")};
    if (!m_setup.openSound) {
        c.finding = QStringLiteral("The sound devices are in use by a call.");
        return done(c);
    }
    const QString microphone = m_setup.openSound(true), speaker = m_setup.openSound(false);
    if (microphone.isEmpty() && speaker.isEmpty()) {
        c.verdict = DoctorCheck::Fine;
        c.finding = QStringLiteral("The microphone and the speaker open.");
    } else {
        c.verdict = DoctorCheck::Problem;
        QStringList what;
        if (!microphone.isEmpty())
            what << QStringLiteral("the microphone could not be opened (%1)").arg(microphone);
        if (!speaker.isEmpty())
            what << QStringLiteral("the speaker could not be opened (%1)").arg(speaker);
        c.finding = what.join(QStringLiteral("; ")) + QLatin1Char('.');
        c.finding[0] = c.finding[0].toUpper();
        c.advice = QStringLiteral("Check that a sound device is plugged in and not held by "
                                  "another program, and the choice in Options > Audio.");
    }
    done(c);
}

void ConnectionDoctor::checkCameras()
{
    DoctorCheck c{QStringLiteral("Camera")};
    if (!m_setup.cameras) {
        c.finding = QStringLiteral("This program cannot list its cameras.");
        return done(c);
    }
    const QStringList cameras = m_setup.cameras();
    if (cameras.isEmpty()) {
        c.verdict = DoctorCheck::Warning;
        c.finding = QStringLiteral("No camera found: the other person will not see you (you "
                                   "still see and hear them, and they hear you).");
        c.advice = QStringLiteral("Plug in a camera, and close any other program that uses it.");
    } else {
        c.verdict = DoctorCheck::Fine;
        c.finding = QStringLiteral("%1: %2.")
                        .arg(cameras.size() == 1 ? QStringLiteral("One camera")
                                                 : QStringLiteral("%1 cameras").arg(cameras.size()))
                        .arg(cameras.join(QStringLiteral(", ")));
    }
    done(c);
}

void ConnectionDoctor::dropReachSocket()
{
    if (!m_socket) return;
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater(); // it may be the sender of the signal being handled
    m_socket = nullptr;
}

void ConnectionDoctor::releasePorts()
{
    m_heldPorts.clear();
}
