// The receiving side of quick messages: the listener on base port + 2. Until messages are
// received here, a connection that stays silent is let go rather than held for ever.
#pragma once

#include "platform/endpointerror.h"

#include <QObject>

#include <memory>

class LineListener;
class Transports;

class QuickMessageReceiver : public QObject
{
    Q_OBJECT
public:
    static constexpr int MessagePortOffset = 2;
    static constexpr int IdleMs = 30000;

    explicit QuickMessageReceiver(Transports &transports, QObject *parent = nullptr);
    ~QuickMessageReceiver() override;

    // Listens on base port + 2; the error is for the "Listen Daemon 3" message.
    EndpointError start(quint16 basePort);
    void shutDown();
    quint16 listeningPort() const;

private:
    std::unique_ptr<LineListener> m_listener; // ipdMessage: base port + 2, "<E>" per connection
};
