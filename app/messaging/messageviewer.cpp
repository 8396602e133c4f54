// The incoming message window's model.
#include "messageviewer.h"

#include "calls/mediasession.h"
#include "calls/outgoingcall.h"
#include "directory/lists.h"
#include "directory/palpresence.h"

MessageViewer::MessageViewer(const Deps &deps, const ReceivedMessage &message, QObject *parent)
    : QObject(parent), m_(deps), m_message(message)
{
    m_pictureSize = m_.media.video().decodeStill(m_message.picture, &m_picture);
    if (m_pictureSize.isEmpty()) m_picture.clear();
}

MessageViewer::~MessageViewer()
{
    close();
}

void MessageViewer::play()
{
    m_.media.audio().playBlocks(m_message.audio, PlayedBlockBytes);
}

void MessageViewer::reply()
{
    emit replyRequested(m_message.name, m_message.location, m_message.address, DefaultBasePort);
}

void MessageViewer::connectToSender()
{
    m_.outgoing.PlaceCall(m_message.address, DefaultBasePort, 0);
}

bool MessageViewer::addPal()
{
    if (m_message.email.isEmpty()) return false;
    return m_.presence.addPal(m_message.email, m_message.email);
}

void MessageViewer::close()
{
    if (m_closed) return;
    m_closed = true;
    if (!m_refuse) return;
    if (m_.refuseList.add({m_message.senderId, m_message.name, m_message.email}))
        saveRefuseList(m_.refuseList, m_.messages);
}
