// Pal presence.
#include "palpresence.h"

#include "platform/linetransport.h"
#include "platform/usermessages.h"
#include "protocol/pal.h"
#include "userdata/lists.h"
#include "userdata/useridentity.h"

#include <QCoreApplication>

#include <algorithm>

#ifndef OVELA_PAL_HOST
#define OVELA_PAL_HOST "localhost"
#endif

PalPresence::PalPresence(const Deps &deps, QObject *parent)
    : QObject(parent), m_deps(deps), m_server(deps.transports.client())
{
    defaultServer(&m_host, &m_port);
    // Each reply is taken whole: a reply split across two arrivals would otherwise be misread.
    m_server->setEol(Pal::Terminator);
    connect(m_server.get(), &LineClient::connectFinished, this,
            [this](int status) { onConnected(status); });
    connect(m_server.get(), &LineClient::dataIn, this,
            [this](const QByteArray &line, bool endOfLine) {
                if (endOfLine) onLine(line);
            });
    connect(m_server.get(), &LineClient::disconnected, this, &PalPresence::onLost);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &PalPresence::connectPalServer);
    m_timer.setInterval(CheckMs);
    connect(&m_timer, &QTimer::timeout, this, &PalPresence::checkTick);
}

PalPresence::~PalPresence() = default;

void PalPresence::defaultServer(QString *host, quint16 *port)
{
    QString text = qEnvironmentVariable("OVELA_PAL_HOST").trimmed();
    if (text.isEmpty()) text = QStringLiteral(OVELA_PAL_HOST);
    *host = text;
    *port = Pal::DefaultPort;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const uint value = colon > 0 ? text.mid(colon + 1).toUInt(&ok) : 0;
    if (ok && value >= 1 && value <= 65535) {
        *host = text.left(colon);
        *port = quint16(value);
    }
}

void PalPresence::setServer(const QString &host, quint16 port)
{
    m_host = host;
    m_port = port;
}

void PalPresence::start()
{
    m_server->setActive(true);
    m_timer.start();
}

void PalPresence::shutDown()
{
    m_timer.stop();
    m_retry.stop();
    m_closing = true;
    m_server->setConnected(false);
    m_closing = false;
    m_server->setActive(false);
}

bool PalPresence::connected() const
{
    return m_server->connected();
}

void PalPresence::connectPalServer()
{
    if (m_server->connected() || m_server->connecting()) return;
    m_server->setRemotePort(m_port);
    if (!m_server->setRemoteHost(m_host)) m_server->setConnected(true);
}

void PalPresence::onLost()
{
    if (m_closing) return;
    // Nobody can say who is online now: every pal shows offline until the next answers.
    m_deps.pals.PalCheckPos = 0;
    for (PalEntry &pal : m_deps.pals.entries)
        pal.Status = 1;
    m_lost = true;
    fillPalLists();
    retryLater();
}

void PalPresence::retryLater()
{
    if (!m_timer.isActive() || m_retry.isActive()) return;
    if (!m_windowVisible && m_deps.pals.count() < 1) return;
    m_retry.start(m_retryMs);
    m_retryMs = std::min(2 * m_retryMs, LastRetryMs);
}

void PalPresence::onConnected(int status)
{
    if (status != 0) {
        retryLater();
        return;
    }
    m_retryMs = FirstRetryMs;
    m_lost = false;
    emit palListsChanged();
    if (m_deps.identity.userId() == UserIdentity::NoId)
        m_server->dataToSend(Directory::build(Directory::NewIdRequest{}));
    else
        m_server->dataToSend(Directory::build(m_deps.identity.login(Directory::PalLogin)));
}

void PalPresence::sendLoginAgain()
{
    if (connected() && m_deps.identity.userId() != UserIdentity::NoId)
        m_server->dataToSend(Directory::build(m_deps.identity.login(Directory::PalLogin)));
}

void PalPresence::checkTick()
{
    connectPalServer();
    if (!m_windowVisible || m_deps.pals.count() < 1) return;
    startCycle();
}

void PalPresence::startCycle()
{
    if (m_deps.pals.count() < 1) return;
    m_deps.pals.PalCheckPos = 1;
    askAbout(1);
}

void PalPresence::askAbout(int index)
{
    m_server->dataToSend(
        Directory::build(Directory::EmailLookup{m_deps.pals.entries[size_t(index - 1)].EMail}));
}

void PalPresence::onLine(const QByteArray &line)
{
    const Pal::Reply reply = Pal::parseReply(line);
    if (const auto *newId = std::get_if<Pal::NewId>(&reply)) {
        m_deps.identity.setUserId(newId->id);
        m_server->dataToSend(Directory::build(m_deps.identity.login(Directory::PalLogin)));
    } else if (const auto *move = std::get_if<Pal::Move>(&reply)) {
        m_closing = true;
        m_server->setConnected(false);
        m_closing = false;
        QCoreApplication::processEvents();
        m_server->setRemotePort(quint16(move->port));
        if (!m_server->setRemoteHost(move->host)) m_server->setConnected(true);
    } else if (const auto *answer = std::get_if<Directory::EmailAnswer>(&reply)) {
        PalList &pals = m_deps.pals;
        // Only the answer about the pal asked about is taken: any other would send calls to a
        // pal wherever the server names. Outside a cycle nothing was asked.
        const int asked = pals.PalCheckPos;
        if (asked < 1 || asked > pals.count()) {
            emit unaskedAnswer(answer->email);
            return;
        }
        PalEntry &pal = pals.entries[size_t(asked - 1)];
        if (pal.EMail.compare(answer->email, Qt::CaseInsensitive) != 0) {
            emit unaskedAnswer(answer->email);
        } else if (answer->found()) {
            pal.Status = 2;
            pal.Name = answer->name;
            pal.Location = answer->location;
            pal.Address = answer->address;
            pal.Port = answer->port;
        } else {
            pal.Status = 1;
        }
        ++pals.PalCheckPos;
        if (pals.PalCheckPos > pals.count()) {
            pals.PalCheckPos = 0; // the cycle is over: no answer is awaited
            fillPalLists();
        } else if (pals.PalCheckPos >= 1)
            askAbout(pals.PalCheckPos);
    }
}

void PalPresence::fillPalLists()
{
    m_online.clear();
    m_offline.clear();
    for (int i = 1; i <= m_deps.pals.count(); ++i)
        (m_deps.pals.entries[size_t(i - 1)].Status == 2 ? m_online : m_offline).append(i);
    emit palListsChanged();
}

bool PalPresence::addPal(const QString &name, const QString &address)
{
    if (!m_deps.pals.add(name, address)) return false;
    savePals(m_deps.pals, m_deps.messages);
    loadPalFile(m_deps.pals);
    fillPalLists();
    return true;
}

void PalPresence::deletePal(int index)
{
    if (index < 1 || index > m_deps.pals.count()) return;
    m_deps.pals.remove(index);
    savePals(m_deps.pals, m_deps.messages);
    fillPalLists();
}
