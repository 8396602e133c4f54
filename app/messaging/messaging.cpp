// Quick messages for the windows.
#include "messaging.h"

#include "messaging/quickmessagereceiver.h"
#include "messaging/quickmessagesender.h"

Messaging::Messaging(const MessageComposer::Deps &compose, const MessageViewer::Deps &view,
                     Transports &transports, QuickMessageReceiver &receiver, QObject *parent)
    : QObject(parent), m_compose(compose), m_transports(transports), m_view(view)
{
    connect(&receiver, &QuickMessageReceiver::messageOpened, this, &Messaging::messageOpened);
}

std::unique_ptr<MessageComposer> Messaging::compose(const MessageComposer::Recipient &recipient)
{
    // The connection stays here: the window's model only asks its sender to send and to close,
    // and the sender goes once the model has.
    auto *sender = new QuickMessageSender(m_transports, m_compose.messages, this);
    auto composer = std::make_unique<MessageComposer>(m_compose, recipient, *sender);
    connect(composer.get(), &QObject::destroyed, sender, &QObject::deleteLater);
    return composer;
}

std::unique_ptr<MessageViewer> Messaging::view(const ReceivedMessage &message)
{
    auto viewer = std::make_unique<MessageViewer>(m_view, message);
    connect(viewer.get(), &MessageViewer::replyRequested, this,
            [this](const QString &name, const QString &location, const QString &address, int port) {
                emit composeRequested({name, location, address, quint16(port)});
            });
    connect(viewer.get(), &MessageViewer::callRequested, this, &Messaging::callRequested);
    return viewer;
}
