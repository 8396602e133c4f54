// The text chat of a call, without its window: the text listener on base port + 3 and the client
// that the calling side opens to the peer's, and the conversation shown in the incoming pane.
#pragma once

#include "platform/ipdaemon.h"
#include "platform/ipport.h"

#include <QObject>
#include <QString>

struct CallSession;

class ChatLink : public QObject
{
    Q_OBJECT
public:
    // The incoming pane is trimmed to its last TrimTo characters once it holds more than TrimAt.
    static constexpr int TrimAt = 12000;
    static constexpr int TrimTo = 8000;

    explicit ChatLink(CallSession &session, QObject *parent = nullptr);

    IPDaemon ipdText; // base port + 3, "<E>" per connection
    IPPort ippText;   // peer's base port + 3, "<E>"

    // Starts listening on base port + 3; the error is for the "Listen Daemon 4" message.
    EndpointError load(quint16 basePort);
    // Program end: closes both connections and stops listening.
    void terminate();

    // Opens the text connection to the peer whose control port is `controlPort`.
    void ConnectText(const QString &host, quint16 controlPort);
    void closeClient();
    void closeServed(int connectionId);

    const QString &incoming() const { return m_incoming; }
    // Appends text at the end of the incoming pane.
    void appendIncoming(const QString &text);
    // Appends a received line: trims the pane first, then adds the text and a line break.
    void appendReceivedLine(const QString &text);
    void clearIncoming();
    // Empties the pane the user types into.
    void clearOutgoing() { emit outgoingCleared(); }

    QString caption() const { return m_caption; }
    void setPeerCaption(const QString &remoteUserName);
    void setIdleCaption();

signals:
    void incomingAppended(const QString &text);
    void incomingReset();
    void outgoingCleared();
    void captionChanged(const QString &caption);

private:
    CallSession &m_session;
    QString m_incoming;
    QString m_caption = QStringLiteral("Text Chat");
};
