// The chat conversation.
#include "chatconversation.h"

#include "callsession.h"
#include "protocol/chatline.h"
#include "userdata/settings.h"

#include <algorithm>

ChatConversation::ChatConversation(CallSession &session, Settings &settings, QObject *parent)
    : QObject(parent), m_session(session), m_settings(settings)
{
}

void ChatConversation::appendIncoming(const QString &text)
{
    // Every addition trims, so nothing a peer repeats (call prompts, say) grows it without end.
    if (m_incoming.size() > TrimAt) {
        m_incoming = m_incoming.right(TrimTo);
        emit incomingReset();
    }
    m_incoming += text;
    emit incomingAppended(text);
}

void ChatConversation::appendReceivedLine(const QString &text)
{
    appendIncoming(text + QStringLiteral("\r\n"));
}

void ChatConversation::clearIncoming()
{
    m_incoming.clear();
    emit incomingReset();
}

void ChatConversation::sendTypedLine(const QString &line)
{
    appendIncoming(QStringLiteral("> ") + line + QStringLiteral("\r\n"));
    emit lineTyped(line);
    clearOutgoing();
}

int ChatConversation::fontSize() const
{
    return std::max<int>(1, m_settings.ChatFontSize);
}

void ChatConversation::changeFontSize(int delta)
{
    const int size = m_settings.ChatFontSize;
    if (delta < 0 && size <= SmallestFont) return;
    m_settings.ChatFontSize = qint16(std::clamp(size + delta, 1, 32767));
    emit fontSizeChanged(fontSize());
}

void ChatConversation::setPeerCaption(const QString &remoteUserName)
{
    m_caption = QStringLiteral("Text Chat - ") + remoteUserName;
    emit captionChanged(m_caption);
}

void ChatConversation::setIdleCaption()
{
    m_caption = QStringLiteral("Text Chat");
    emit captionChanged(m_caption);
}

bool ChatConversation::keyTyped(char32_t character, const QString &outgoingText)
{
    if (m_session.realTime()) {
        emit textToSend(ChatLine::build(ChatLine::Key{character}));
        return true;
    }
    if (character == ChatLine::EnterCode) {
        sendTypedLine(outgoingText);
        return false;
    }
    return true;
}

bool ChatConversation::bellKey()
{
    if (!m_session.peerVersion()) return false;
    emit bell();
    emit textToSend(ChatLine::build(ChatLine::Bell{}));
    return true;
}

void ChatConversation::ringUser()
{
    emit textToSend(ChatLine::ringButton());
    emit bell();
}

void ChatConversation::receiveLine(const QByteArray &line)
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
