// The directory client.
#include "directoryclient.h"

#include "platform/linetransport.h"
#include "platform/netaddress.h"
#include "platform/usermessages.h"
#include "userdata/settings.h"
#include "userdata/useridentity.h"

#include <QHostAddress>

#include <algorithm>

using namespace Directory;

DirectoryClient::DirectoryClient(const Deps &deps, QObject *parent)
    : QObject(parent), m_deps(deps), m_server(deps.transports.client())
{
    m_server->setEol(Terminator);
    connect(m_server.get(), &LineClient::connectFinished, this,
            [this](int status, const QString &text) { onConnected(status, text); });
    connect(m_server.get(), &LineClient::dataIn, this,
            [this](const QByteArray &line, bool endOfLine) {
                // A line too long to hold arrives in pieces: none of them is a message.
                if (endOfLine) onLine(line);
            });
    connect(m_server.get(), &LineClient::disconnected, this, &DirectoryClient::lost);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (m_wanted && !m_host.isEmpty() && !connected()) connectDirectory(m_host, m_port);
    });
}

void DirectoryClient::setWanted(bool wanted)
{
    m_wanted = wanted;
    if (!wanted)
        m_retry.stop();
    else if (!connected() && !m_host.isEmpty() && !m_retry.isActive())
        m_retry.start(0);
}

void DirectoryClient::closeOnPurpose()
{
    m_closing = true;
    m_server->setConnected(false);
    m_closing = false;
}

void DirectoryClient::lost()
{
    m_lookup.clear();
    if (m_closing) return;
    setStatus(QStringLiteral("Unable to contact Directory Server"));
    if (!m_users.isEmpty()) {
        m_stale = true;
        emit usersChanged();
    }
    retryLater();
}

void DirectoryClient::retryLater()
{
    if (!m_wanted || m_host.isEmpty() || m_retry.isActive()) return;
    m_retry.start(m_retryMs);
    m_retryMs = std::min(2 * m_retryMs, LastRetryMs);
}

DirectoryClient::~DirectoryClient() = default;

void DirectoryClient::start()
{
    m_server->setActive(true);
    m_server->setEol(Terminator);
}

void DirectoryClient::shutDown()
{
    m_host.clear();
    m_retry.stop();
    closeOnPurpose();
    m_server->setActive(false);
}

void DirectoryClient::setStatus(const QString &text)
{
    m_status = text;
    emit statusChanged(text);
}

void DirectoryClient::connectDirectory(const QString &host, qint16 port)
{
    const QString name = host.trimmed();
    if (name.isEmpty()) return;
    emit palConnectionWanted();
    m_host = name;
    m_port = port;
    m_retry.stop();
    setStatus(QStringLiteral("Establishing Connection with ") + host + QLatin1Char(':') +
              QString::number(port));
    closeOnPurpose();
    m_server->setRemotePort(quint16(port));
    // A server on this machine needs no network; any other does.
    const bool here = name == QLatin1String("localhost") || QHostAddress(name).isLoopback();
    if (!here && !NetAddress::hasNetwork()) {
        setStatus(QStringLiteral("Unable to contact Directory Server"));
        m_deps.messages.showInfoMessage(QStringLiteral(
            "You must be connected to the Internet before you can use the Directory"));
        return;
    }
    if (const EndpointError e = m_server->setRemoteHost(name)) {
        invalidAddress(host, port, e);
        return;
    }
    m_server->setConnected(true);
}

void DirectoryClient::invalidAddress(const QString &host, int port, const EndpointError &e)
{
    m_deps.messages.showInfoMessage(QStringLiteral("Directory Server Address is invalid: ") + host +
                                    QLatin1Char(':') + QString::number(port) +
                                    QStringLiteral(", ") + QString::number(e.number) +
                                    QLatin1Char(' ') + e.description);
}

void DirectoryClient::sendDirectoryLogin()
{
    m_server->dataToSend(build(m_deps.identity.login(DirectoryLogin)));
}

void DirectoryClient::disconnect()
{
    m_host.clear(); // not to be reconnected
    m_retry.stop();
    closeOnPurpose();
}

bool DirectoryClient::connected() const
{
    return m_server->connected();
}

void DirectoryClient::requestList()
{
    m_server->dataToSend(build(ListRequest{}));
}

void DirectoryClient::requestIntro()
{
    m_server->dataToSend(build(Intro{}));
}

void DirectoryClient::lookUpEmail(const QString &address)
{
    m_lookup = address;
    m_server->dataToSend(build(EmailLookup{address}));
}

const User *DirectoryClient::user(int index) const
{
    return index >= 1 && index <= m_users.size() ? &m_users[index - 1] : nullptr;
}

void DirectoryClient::onConnected(int status, const QString &description)
{
    if (status == EndpointErrors::HostNotFound) { // the server's name was looked up in vain
        invalidAddress(m_server->remoteHost(), m_server->remotePort(), {status, description});
        setStatus(QStringLiteral("Unable to contact Directory Server"));
        return;
    }
    if (status != 0) {
        setStatus(QStringLiteral("Unable to contact Directory Server"));
        retryLater();
        return;
    }
    m_retryMs = FirstRetryMs;
    sendDirectoryLogin();
    requestIntro();
    setStatus(QStringLiteral("Connected to Directory Server"));
}

void DirectoryClient::onLine(const QByteArray &line)
{
    const Reply reply = parseReply(line);
    if (const auto *notice = std::get_if<Notice>(&reply)) {
        m_deps.messages.showInfoMessage(notice->text);
        if (notice->kind == Notice::Intro) {
            requestList();
            setStatus(QStringLiteral("Requesting User List"));
        } else if (notice->kind == Notice::Busy) {
            // No automatic reconnection, and the empty address is saved.
            m_deps.settings.DirAddress.clear();
            disconnect();
        }
    } else if (const auto *redirect = std::get_if<Redirect>(&reply)) {
        emit redirectOffered(redirect->host + QLatin1Char(':') + redirect->port, redirect->text);
    } else if (const auto *servers = std::get_if<ServerList>(&reply)) {
        m_choices.clear();
        for (const ServerChoice &choice : servers->servers)
            m_choices << choiceText(choice);
        emit serverChoicesChanged(m_choices);
    } else if (const auto *list = std::get_if<UserList>(&reply)) {
        showUsers(*list);
    } else if (const auto *answer = std::get_if<EmailAnswer>(&reply)) {
        // Only the answer to the lookup sent, once: any other would place a call nobody asked
        // for, to wherever the server names.
        if (m_lookup.isEmpty() || answer->email.compare(m_lookup, Qt::CaseInsensitive) != 0) {
            emit unaskedAnswer(answer->email);
            return;
        }
        m_lookup.clear();
        if (answer->found())
            emit emailFound(answer->name, answer->location, answer->address, answer->port);
        else
            emit emailNotFound();
    }
}

void DirectoryClient::showUsers(const UserList &list)
{
    setStatus(QStringLiteral("Processing User List"));
    m_users = list.users;
    m_stale = false;
    m_online = QString::number(list.online) + QStringLiteral(" Users Online");
    m_listed = QString::number(list.listed) + QStringLiteral(" Users Listed");
    emit usersChanged();
    setStatus(QStringLiteral("Select User for Connection"));
}
