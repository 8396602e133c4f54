// Quick messages as the windows see them: compose windows' and incoming windows' models made on
// request, and the incoming messages' indicator.
#pragma once

#include "messaging/messagecomposer.h"
#include "messaging/messageviewer.h"

#include <memory>

class QuickMessageReceiver;
class Transports;

class Messaging : public QObject
{
    Q_OBJECT
public:
    Messaging(const MessageComposer::Deps &compose, const MessageViewer::Deps &view,
              Transports &transports, QuickMessageReceiver &receiver, QObject *parent = nullptr);

    std::unique_ptr<MessageComposer> compose(const MessageComposer::Recipient &recipient);
    std::unique_ptr<MessageViewer> view(const ReceivedMessage &message);

signals:
    // A message was opened: an incoming window shows it.
    void messageOpened(const ReceivedMessage &message);
    // A compose window is asked for (Send Message, Reply).
    void composeRequested(const MessageComposer::Recipient &recipient);
    // A message's Connect: a call to its sender.
    void callRequested(const QString &address, int port);

private:
    MessageComposer::Deps m_compose;
    Transports &m_transports;
    MessageViewer::Deps m_view;
};
