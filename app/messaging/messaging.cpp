// Quick messages for the windows.
#include "messaging.h"

#include "messaging/quickmessagereceiver.h"

Messaging::Messaging(const MessageComposer::Deps &compose, const MessageViewer::Deps &view,
                     QuickMessageReceiver &receiver, QObject *parent)
    : QObject(parent), m_compose(compose), m_view(view)
{
    connect(&receiver, &QuickMessageReceiver::messageOpened, this, &Messaging::messageOpened);
}

std::unique_ptr<MessageComposer> Messaging::compose(const MessageComposer::Recipient &recipient)
{
    return std::make_unique<MessageComposer>(m_compose, recipient);
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
