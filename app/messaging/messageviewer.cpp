// The incoming message window's model.
#include "messageviewer.h"

#include "media/audiopath.h"
#include "media/videopath.h"
#include "platform/netaddress.h"
#include "userdata/lists.h"

MessageViewer::MessageViewer(const Deps &deps, const ReceivedMessage &message, QObject *parent)
    : QObject(parent), m_deps(deps), m_message(message)
{
    m_pictureSize = m_deps.video.decodeStill(m_message.picture, &m_picture);
    if (m_pictureSize.isEmpty()) m_picture.clear();
}

MessageViewer::~MessageViewer()
{
    close();
}

void MessageViewer::play()
{
    m_deps.audio.playBlocks(m_message.audio, PlayedBlockBytes);
}

void MessageViewer::reply()
{
    emit replyRequested(m_message.name, m_message.location, m_message.address, DefaultBasePort);
}

void MessageViewer::connectToSender()
{
    emit callRequested(m_message.address, DefaultBasePort);
}

bool MessageViewer::addPal()
{
    if (m_message.email.isEmpty()) return false;
    return m_deps.addPal && m_deps.addPal(m_message.email);
}

void MessageViewer::close()
{
    if (m_closed) return;
    m_closed = true;
    if (!m_refuse) return;
    if (m_deps.refuseList.add({m_message.senderId, m_message.name, m_message.email}))
        saveRefuseList(m_deps.refuseList, m_deps.messages);
}
