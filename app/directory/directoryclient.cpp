// The directory client.
#include "directoryclient.h"

#include "platform/linetransport.h"
#include "protocol/directory.h"

DirectoryClient::DirectoryClient(Transports &transports, QObject *parent)
    : QObject(parent), m_server(transports.client())
{
    m_server->setEol(Directory::Terminator);
}

DirectoryClient::~DirectoryClient() = default;

void DirectoryClient::start()
{
    m_server->setActive(true);
    m_server->setEol(Directory::Terminator);
}

void DirectoryClient::shutDown()
{
    m_server->setConnected(false);
    m_server->setActive(false);
}

void DirectoryClient::connectTo(const QString &host, quint16 port)
{
    m_server->setConnected(false);
    m_server->setRemotePort(port);
    if (!m_server->setRemoteHost(host)) m_server->setConnected(true);
}

void DirectoryClient::disconnect()
{
    m_server->setConnected(false);
}

bool DirectoryClient::connected() const
{
    return m_server->connected();
}

void DirectoryClient::lookUpEmail(const QString &address)
{
    m_server->dataToSend(Directory::build(Directory::EmailLookup{address}));
}
