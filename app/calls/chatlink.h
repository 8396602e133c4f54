// The text chat of a call, without its window: the text listener on base port + 3 and the client
// that the calling side opens to the peer's, the conversation shown in the incoming pane, what a
// key typed into the outgoing pane does (a line sent at Enter, or in real-time chat each key at
// once over the text connection, and the bell), and the chat window's font size.
#pragma once

#include "platform/endpointerror.h"

#include <QObject>
#include <QString>

#include <memory>

class CallSession;
class LineClient;
class LineListener;
class Transports;
struct Settings;

class ChatLink : public QObject
{
    Q_OBJECT
public:
    // The incoming pane is trimmed to its last TrimTo characters once it holds more than TrimAt.
    static constexpr int TrimAt = 12000;
    static constexpr int TrimTo = 8000;
    static constexpr int TextPortOffset = 3;
    static constexpr int SmallestFont = 8;

    ChatLink(CallSession &session, Settings &settings, Transports &transports,
             QObject *parent = nullptr);
    ~ChatLink() override;

    // Starts listening on base port + 3; the error is for the "Listen Daemon 4" message.
    EndpointError start(quint16 basePort);
    // Program end: closes both connections and stops listening.
    void shutDown();

    // Opens the text connection to the peer whose control port is `controlPort`.
    void connectText(const QString &host, quint16 controlPort);
    void closeClient();
    void closeServed(int connectionId);
    // Whether a text connection of a call is open.
    bool connected() const;
    quint16 listeningPort() const;

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
    // A typed line to send to the peer.
    void lineTyped(const QString &line);
    // The chat bell: it sounds here when the speaker and the microphone are idle.
    void bell();

private:
    void onTextLine(const QByteArray &line);
    void sendOnTextConnection(const QByteArray &line);

    CallSession &m_session;
    Settings &m_settings;
    std::unique_ptr<LineListener> m_listener; // base port + 3, "<E>" per connection
    std::unique_ptr<LineClient> m_client;     // peer's base port + 3, "<E>"
    QString m_incoming;
    QString m_caption = QStringLiteral("Text Chat");
};
