// The router's forwarding, from the program's side.
#include "portmapping.h"

#include "platform/textfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

namespace
{
const QString ChoiceKey = QStringLiteral("MapPorts");
}

PortMapping::PortMapping(const QString &folder, QObject *parent) : QObject(parent), m_folder(folder)
{
    m_renew.setSingleShot(true);
    connect(&m_renew, &QTimer::timeout, this,
            [this] { ask([](RouterClient &client) { client.renew(); }); });
}

PortMapping::~PortMapping()
{
    stop();
}

QString PortMapping::path() const
{
    return QDir(m_folder).filePath(FileName);
}

void PortMapping::load()
{
    const auto yes = [](const QString &text) {
        return text.trimmed().compare(QLatin1String("No"), Qt::CaseInsensitive) != 0 &&
               text.trimmed() != QLatin1String("0");
    };
    // For this run only: tests and demos keep their traffic off the machine's real router.
    if (const QString forced = qEnvironmentVariable("OVELA_MAP_PORTS"); !forced.isEmpty()) {
        m_enabled = yes(forced);
        return;
    }
    QStringList lines;
    if (!TextFile::readLines(path(), &lines)) return;
    for (const QString &line : lines)
        if (line.section(QLatin1Char('='), 0, 0).trimmed() == ChoiceKey)
            m_enabled = yes(line.section(QLatin1Char('='), 1));
}

void PortMapping::save()
{
    QDir().mkpath(m_folder);
    const QString line = ChoiceKey + (m_enabled ? QStringLiteral("=Yes") : QStringLiteral("=No"));
    if (const FileError e = TextFile::writeLines(path(), {line}))
        emit logEntry(e.message(QStringLiteral("Could not save the router choice, ")));
}

void PortMapping::setEnabled(bool on)
{
    if (on == m_enabled) return;
    m_enabled = on;
    save();
    if (!m_insideBase) return;
    m_renew.stop();
    if (on) {
        const quint16 base = m_insideBase;
        emit logEntry(QStringLiteral("Asking the router to forward the ports again"));
        ask([base](RouterClient &client) { client.map(base); });
    } else {
        emit logEntry(QStringLiteral("Router port forwarding turned off"));
        ask([](RouterClient &client) { client.unmap(); });
    }
}

void PortMapping::start(quint16 insideBase)
{
    m_insideBase = insideBase;
    if (!m_enabled) return; // turned off: the router is not asked, and nothing happened
    ask([insideBase](RouterClient &client) { client.map(insideBase); });
}

void PortMapping::ask(const std::function<void(RouterClient &)> &request)
{
    if (!m_thread) {
        m_thread = new QThread;
        m_thread->setObjectName(QStringLiteral("router"));
        m_client = new RouterClient;
        m_client->moveToThread(m_thread);
        connect(m_client, &RouterClient::done, this, &PortMapping::received);
        m_thread->start();
    }
    RouterClient *client = m_client;
    QMetaObject::invokeMethod(client, [client, request] { request(*client); });
}

void PortMapping::received(const PortMapState &state, const QStringList &log)
{
    const quint16 before = reachableBasePort();
    m_state = state;
    for (const QString &line : log)
        emit logEntry(QStringLiteral("Router: ") + line);
    // A turned-off program forgets the router's last answer: the state says "off".
    if (m_enabled && m_state.searched) m_renew.start(m_state.renewSeconds * 1000);
    emit changed();
    if (reachableBasePort() != before) emit reachableBasePortChanged(reachableBasePort());
}

quint16 PortMapping::reachableBasePort() const
{
    return m_state.portsMapped() ? m_state.outsideBase : m_insideBase;
}

QString PortMapping::summary() const
{
    if (!m_enabled) return QStringLiteral("The router is not asked to forward the ports (off)");
    if (!m_state.searched) return QStringLiteral("Looking for the router...");
    if (!m_state.routerFound())
        return QStringLiteral("No router answered (UPnP IGD or NAT-PMP): the ports are not "
                              "forwarded");
    if (!m_state.portsMapped())
        return QStringLiteral("The router (%1) at %2 did not forward the ports: %3")
            .arg(m_state.methodName(), m_state.router, m_state.problem);
    const QString ports =
        QStringLiteral("%1:%2-%3")
            .arg(m_state.externalAddress.isEmpty() ? QStringLiteral("?") : m_state.externalAddress)
            .arg(m_state.outsideBase)
            .arg(m_state.outsideBase + 3);
    if (!m_state.problem.isEmpty())
        return QStringLiteral("The router (%1) forwards %2, but %3")
            .arg(m_state.methodName(), ports, m_state.problem);
    return QStringLiteral("Ports open: the router (%1) forwards %2 to this computer")
        .arg(m_state.methodName(), ports);
}

void PortMapping::stop(int waitMs)
{
    m_renew.stop();
    if (!m_thread) return;
    QThread *thread = m_thread;
    RouterClient *client = m_client;
    m_thread = nullptr;
    m_client = nullptr;
    client->cancel();
    // The thread ends after the removal: a quit() from here could end its event loop first.
    QMetaObject::invokeMethod(client, [client] {
        client->unmap();
        QThread::currentThread()->quit();
    });
    if (!thread->wait(waitMs)) {
        // A router that stopped answering holds the thread in a network wait: the lease ends by
        // itself, and the process ends without waiting for it.
        disconnect(client, nullptr, this, nullptr);
        emit logEntry(QStringLiteral("Router: no answer while removing the forwarding"));
        return;
    }
    // What the removal reported, for the log.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    m_renew.stop();
    delete client;
    delete thread;
}
