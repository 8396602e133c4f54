// The quick-message listener.
#include "quickmessagereceiver.h"

#include "platform/linetransport.h"
#include "protocol/quickmessage.h"

QuickMessageReceiver::QuickMessageReceiver(Transports &transports, QObject *parent)
    : QObject(parent), m_listener(transports.listener())
{
    m_listener->setIdleTimeout(IdleMs);
    connect(m_listener.get(), &LineListener::Connected, this,
            [this](int id, int status, const QString &) {
                if (status == 0) m_listener->setEol(id, QuickMessage::Terminator);
            });
}

QuickMessageReceiver::~QuickMessageReceiver() = default;

EndpointError QuickMessageReceiver::start(quint16 basePort)
{
    m_listener->setActive(true);
    m_listener->setLocalPort(quint16(basePort + MessagePortOffset));
    return m_listener->setListening(true);
}

void QuickMessageReceiver::shutDown()
{
    m_listener->setListening(false);
    m_listener->setActive(false);
}

quint16 QuickMessageReceiver::listeningPort() const
{
    return m_listener->listening() ? m_listener->localPort() : 0;
}
