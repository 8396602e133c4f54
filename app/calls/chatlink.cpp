// The text chat link and the conversation text.
#include "chatlink.h"

#include "callsession.h"
#include "platform/linetransport.h"
#include "protocol/chatline.h"
#include "userdata/settings.h"

#include <algorithm>

ChatLink::ChatLink(CallSession &session, Settings &settings, Transports &transports,
                   QObject *parent)
    : QObject(parent), m_session(session), m_settings(settings), m_listener(transports.listener()),
      m_client(transports.client())
{
    // Only the peer of an accepted call may open the text connection, and only one.
    connect(m_listener.get(), &LineListener::connectionRequest, this, [this](bool *accept) {
        *accept = m_session.acceptedIncoming() && m_listener->connectionCount() == 0;
    });
    connect(m_listener.get(), &LineListener::connectionAccepted, this,
            [this](int id, int status, const QString &) {
                if (status == 0) m_listener->setEol(id, ChatLine::Terminator);
            });
    m_client->setEol(ChatLine::Terminator);
    connect(m_listener.get(), &LineListener::dataIn, this,
            [this](int, const QByteArray &line, bool eol) {
                if (eol) onTextLine(line);
            });
    connect(m_client.get(), &LineClient::dataIn, this, [this](const QByteArray &line, bool eol) {
        if (eol) onTextLine(line);
    });
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

void ChatLink::sendTypedLine(const QString &line)
{
    appendIncoming(QStringLiteral("> ") + line + QStringLiteral("\r\n"));
    emit lineTyped(line);
    clearOutgoing();
}

int ChatLink::fontSize() const
{
    return std::max<int>(1, m_settings.ChatFontSize);
}

void ChatLink::changeFontSize(int delta)
{
    const int size = m_settings.ChatFontSize;
    if (delta < 0 && size <= SmallestFont) return;
    m_settings.ChatFontSize = qint16(std::clamp(size + delta, 1, 32767));
    emit fontSizeChanged(fontSize());
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

void ChatLink::sendOnTextConnection(const QByteArray &line)
{
    if (m_client->connected())
        m_client->dataToSend(line);
    else if (m_listener->connected(1))
        m_listener->dataToSend(1, line);
}

bool ChatLink::keyTyped(char32_t character, const QString &outgoingText)
{
    if (m_session.realTime()) {
        sendOnTextConnection(ChatLine::build(ChatLine::Key{character}));
        return true;
    }
    if (character == ChatLine::EnterCode) {
        sendTypedLine(outgoingText);
        return false;
    }
    return true;
}

bool ChatLink::bellKey()
{
    if (!m_session.peerVersion()) return false;
    emit bell();
    sendOnTextConnection(ChatLine::build(ChatLine::Bell{}));
    return true;
}

void ChatLink::ringUser()
{
    sendOnTextConnection(ChatLine::ringButton());
    emit bell();
}

void ChatLink::onTextLine(const QByteArray &line)
{
    const ChatLine::Line parsed = ChatLine::parse(line);
    if (std::holds_alternative<ChatLine::Bell>(parsed)) {
        emit bell();
        return;
    }
    const auto *key = std::get_if<ChatLine::Key>(&parsed);
    if (!key) return;
    if (key->character == ChatLine::BackspaceCode) {
        if (m_incoming.isEmpty()) return;
        // A line break goes as the pair it is; any other character whole.
        qsizetype cut = 1;
        if (m_incoming.endsWith(QLatin1Char('\n')) && m_incoming.size() >= 2)
            cut = 2;
        else if (m_incoming.size() >= 2 && m_incoming.back().isLowSurrogate())
            cut = 2;
        m_incoming.chop(cut);
        emit incomingReset();
    } else if (key->character == ChatLine::EnterCode) {
        appendIncoming(QStringLiteral("\r\n"));
    } else {
        appendIncoming(QString::fromUcs4(&key->character, 1));
    }
}
