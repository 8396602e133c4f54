// The text chat of a call as its window sees it: the conversation in the incoming pane, what a
// key typed into the outgoing pane does (a line sent at Enter, or in real-time chat each key at
// once), the bell, the caption and the font size. It owns no connection: what it sends leaves
// through textToSend and what arrives comes in through receiveLine (the chat link does both).
#pragma once

#include <QObject>
#include <QString>

class CallSession;
struct Settings;

class ChatConversation : public QObject
{
    Q_OBJECT
public:
    // The incoming pane is trimmed to its last TrimTo characters once it holds more than TrimAt.
    static constexpr int TrimAt = 12000;
    static constexpr int TrimTo = 8000;
    static constexpr int SmallestFont = 8;

    ChatConversation(CallSession &session, Settings &settings, QObject *parent = nullptr);

    const QString &incoming() const { return m_incoming; }
    // Appends text at the end of the incoming pane.
    void appendIncoming(const QString &text);
    // Appends a received line: trims the pane first, then adds the text and a line break.
    void appendReceivedLine(const QString &text);
    void clearIncoming();
    // Empties the pane the user types into.
    void clearOutgoing() { emit outgoingCleared(); }
    // The user typed a line and pressed Enter: it is echoed and goes out with the call.
    void sendTypedLine(const QString &line);
    // A key typed into the outgoing pane (a whole character; 8 Backspace, 13 Enter), with the
    // pane's text so far; true when the pane should take the key as usual.
    bool keyTyped(char32_t character, const QString &outgoingText);
    // Ctrl+G: rings the peer (and here) when it runs this protocol version; false otherwise.
    bool bellKey();
    // The Ring User button.
    void ringUser();
    // A line that arrived on the text connection: a real-time key or a bell.
    void receiveLine(const QByteArray &line);

    int fontSize() const;
    // One point larger or smaller; never below SmallestFont by the smaller button.
    void changeFontSize(int delta);

    QString caption() const { return m_caption; }
    void setPeerCaption(const QString &remoteUserName);
    void setIdleCaption();

signals:
    void incomingAppended(const QString &text);
    void incomingReset();
    void outgoingCleared();
    void captionChanged(const QString &caption);
    void fontSizeChanged(int points);
    // A typed line to send to the peer with the call's media.
    void lineTyped(const QString &line);
    // A line for the text connection (a real-time key or a bell).
    void textToSend(const QByteArray &line);
    // The chat bell: it sounds here when the speaker and the microphone are idle.
    void bell();

private:
    CallSession &m_session;
    Settings &m_settings;
    QString m_incoming;
    QString m_caption = QStringLiteral("Text Chat");
};
