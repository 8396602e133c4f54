// The text connection.
#include "chatlink.h"

#include "callsession.h"
#include "chatconversation.h"
#include "platform/linetransport.h"
#include "protocol/chatline.h"

ChatLink::ChatLink(CallSession &session, ChatConversation &conversation, Transports &transports,
                   QObject *parent)
    : QObject(parent), m_session(session), m_listener(transports.listener()),
      m_client(transports.client())
{
    // Only the peer of an accepted call may open the text connection, and only one.
    connect(m_listener.get(), &LineListener::connectionRequest, this, [this](bool *accept) {
        *accept = m_session.acceptedIncoming() && m_listener->connectionCount() == 0;
    });
    connect(m_listener.get(), &LineListener::connectionAccepted, this,
            [this](int id, int status, const QString &) {
                if (status != 0) return;
                if (m_peerCheck && !m_peerCheck(m_listener->peerCertificate(id))) {
                    m_listener->setConnected(id, false);
                    return;
                }
                m_listener->setEol(id, ChatLine::Terminator);
            });
    connect(m_client.get(), &LineClient::connectFinished, this, [this](int status) {
        if (status == 0 && m_peerCheck && !m_peerCheck(m_client->peerCertificate()))
            m_client->setConnected(false);
    });
    m_client->setEol(ChatLine::Terminator);
    connect(m_listener.get(), &LineListener::dataIn, &conversation,
            [&conversation](int, const QByteArray &line, bool eol) {
                if (eol) conversation.receiveLine(line);
            });
    connect(m_client.get(), &LineClient::dataIn, &conversation,
            [&conversation](const QByteArray &line, bool eol) {
                if (eol) conversation.receiveLine(line);
            });
    connect(&conversation, &ChatConversation::textToSend, this, &ChatLink::send);
}

ChatLink::~ChatLink() = default;

EndpointError ChatLink::start(quint16 basePort)
{
    m_listener->setActive(true);
    m_client->setActive(true);
    m_listener->setLocalPort(quint16(basePort + TextPortOffset));
    return m_listener->setListening(true);
}

void ChatLink::shutDown()
{
    if (m_client->connected()) m_client->setConnected(false);
    if (m_listener->connected(1)) m_listener->setConnected(1, false);
    m_listener->setListening(false);
    m_listener->setActive(false);
    m_client->setActive(false);
}

void ChatLink::connectText(const QString &host, quint16 controlPort)
{
    m_client->setConnected(false);
    m_client->setRemotePort(quint16(controlPort + TextPortOffset));
    if (!m_client->setRemoteHost(host)) m_client->setConnected(true);
}

void ChatLink::setEncryption(const std::optional<QSslConfiguration> &tls)
{
    m_listener->setEncryption(tls);
    m_client->setEncryption(tls);
}

void ChatLink::closeClient()
{
    m_client->setConnected(false);
}

void ChatLink::closeServed(int connectionId)
{
    m_listener->setConnected(connectionId, false);
}

bool ChatLink::connected() const
{
    return m_client->connected() || m_listener->connected(1);
}

quint16 ChatLink::listeningPort() const
{
    return m_listener->listening() ? m_listener->localPort() : 0;
}

void ChatLink::send(const QByteArray &line)
{
    if (m_client->connected())
        m_client->dataToSend(line);
    else if (m_listener->connected(1))
        m_listener->dataToSend(1, line);
}
