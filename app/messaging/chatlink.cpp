// The text chat link and the conversation text.
#include "chatlink.h"

#include "calls/callsession.h"
#include "calls/endpoints.h"

ChatLink::ChatLink(CallSession &session, QObject *parent) : QObject(parent), m_session(session)
{
    // Only the peer of an accepted call may open the text connection, and only one.
    connect(&ipdText, &IPDaemon::ConnectionRequest, this, [this](bool *accept) {
        *accept = m_session.acceptedIncoming && ipdText.connectionCount() == 0;
    });
    connect(&ipdText, &IPDaemon::Connected, this, [this](int id, int status, const QString &) {
        if (status == 0) ipdText.setEol(id, MediaEol);
    });
    ippText.setEol(MediaEol);
}

EndpointError ChatLink::load(quint16 basePort)
{
    ipdText.setActive(true);
    ippText.setActive(true);
    ipdText.setLocalPort(quint16(basePort + 3));
    return ipdText.setListening(true);
}

void ChatLink::terminate()
{
    if (ippText.connected()) ippText.setConnected(false);
    if (ipdText.connected(1)) ipdText.setConnected(1, false);
    ipdText.setListening(false);
    ipdText.setActive(false);
    ippText.setActive(false);
}

void ChatLink::ConnectText(const QString &host, quint16 controlPort)
{
    ippText.setConnected(false);
    ippText.setRemotePort(quint16(controlPort + 3));
    if (!ippText.setRemoteHost(host)) ippText.setConnected(true);
}

void ChatLink::closeClient()
{
    ippText.setConnected(false);
}

void ChatLink::closeServed(int connectionId)
{
    ipdText.setConnected(connectionId, false);
}

void ChatLink::appendIncoming(const QString &text)
{
    // Every addition trims, so nothing a peer repeats (call prompts, say) grows it without end.
    if (m_incoming.size() > TrimAt) {
        m_incoming = m_incoming.right(TrimTo);
        emit incomingReset();
    }
    m_incoming += text;
    emit incomingAppended(text);
}

void ChatLink::appendReceivedLine(const QString &text)
{
    appendIncoming(text + QStringLiteral("\r\n"));
}

void ChatLink::clearIncoming()
{
    m_incoming.clear();
    emit incomingReset();
}

void ChatLink::setPeerCaption(const QString &remoteUserName)
{
    m_caption = QStringLiteral("Text Chat - ") + remoteUserName;
    emit captionChanged(m_caption);
}

void ChatLink::setIdleCaption()
{
    m_caption = QStringLiteral("Text Chat");
    emit captionChanged(m_caption);
}
