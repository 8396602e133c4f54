// Sending one quick message.
#include "quickmessagesender.h"

#include "messaging/quickmessagereceiver.h"
#include "platform/linetransport.h"
#include "platform/usermessages.h"

#include <algorithm>

using namespace QuickMessage;

QuickMessageSender::QuickMessageSender(Transports &transports, UserMessages &messages,
                                       QObject *parent)
    : QObject(parent), m_messages(messages), m_client(transports.client())
{
    m_client->setActive(true);
    connect(m_client.get(), &LineClient::connectFinished, this,
            [this](int status, const QString &text) { onConnected(status, text); });
    connect(m_client.get(), &LineClient::dataIn, this,
            [this](const QByteArray &bytes) { onData(bytes); });
    connect(m_client.get(), &LineClient::disconnected, this, [this] {
        if (m_progress.isActive()) {
            m_progress.stop();
            emit progress(-1);
        }
        emit finished();
    });
    m_progress.setInterval(ProgressMs);
    connect(&m_progress, &QTimer::timeout, this, &QuickMessageSender::reportProgress);
}

void QuickMessageSender::sendTracked(const QByteArray &bytes)
{
    m_client->dataToSend(bytes);
    m_tracked = bytes.size();
    m_progress.start();
    reportProgress();
}

void QuickMessageSender::reportProgress()
{
    const qint64 left = std::min(m_client->bytesWaiting(), m_tracked);
    emit progress(int(100 * (m_tracked - left) / std::max<qint64>(1, m_tracked)));
    if (left == 0) {
        m_progress.stop();
        emit progress(-1);
    }
}

QuickMessageSender::~QuickMessageSender() = default;

void QuickMessageSender::setStatus(const QString &text)
{
    m_status = text;
    emit statusChanged(text);
}

bool QuickMessageSender::send(const QString &address, quint16 basePort, const Outgoing &message)
{
    m_message = message;
    emit busyChanged(true);
    setStatus(QStringLiteral("Establishing Connection..."));
    m_client->setConnected(false);
    m_client->setRemotePort(quint16(basePort + QuickMessageReceiver::MessagePortOffset));
    if (const EndpointError e = m_client->setRemoteHost(address)) {
        invalidAddress(e);
        return false;
    }
    m_client->setConnected(true);
    return true;
}

void QuickMessageSender::close()
{
    m_progress.stop();
    const QSignalBlocker quiet(this);
    m_client->setConnected(false);
    m_client->setActive(false);
}

void QuickMessageSender::invalidAddress(const EndpointError &e)
{
    m_messages.showInfoMessage(QStringLiteral("You have entered an invalid Host Address: ") +
                               QString::number(e.number) + QLatin1Char(' ') + e.description);
    emit busyChanged(false);
}

void QuickMessageSender::onConnected(int status, const QString &description)
{
    if (status == EndpointErrors::HostNotFound) { // the name was looked up in vain
        setStatus(QStringLiteral("Failed to Establish Connection"));
        invalidAddress({status, description});
        return;
    }
    if (status != 0) {
        setStatus(QStringLiteral("Failed to Establish Connection"));
        emit busyChanged(false);
        return;
    }
    setStatus(QStringLiteral("Connection Established"));
    m_client->dataToSend(build(Request{m_message.body.id}));
}

void QuickMessageSender::onData(const QByteArray &bytes)
{
    for (const Message &message : m_reader.feed(bytes)) {
        if (std::holds_alternative<Accepted>(message)) {
            setStatus(QStringLiteral("Sending Message"));
            m_client->dataToSend(build(m_message.body));
        } else if (std::holds_alternative<Refused>(message)) {
            setStatus(QStringLiteral("Message Refused from User"));
            emit busyChanged(false);
        } else if (std::holds_alternative<Next>(message)) {
            if (m_message.sendPicture) {
                setStatus(QStringLiteral("Transmitting Picture"));
                sendTracked(build(Picture{m_message.picture}));
                m_message.sendPicture = false;
                emit pictureSent();
                continue; // the next MRN goes on
            }
            if (m_message.sendAudio) {
                setStatus(QStringLiteral("Transmitting Audio"));
                QByteArray block;
                for (const QByteArray &chunk : std::as_const(m_message.audio))
                    block += build(AudioChunk{chunk});
                sendTracked(block + build(AudioEnd{}));
                m_message.sendAudio = false;
                emit audioSent();
            }
            // The MRN that answers MAF arrives after this MSE and is answered by another one,
            // which the recipient, having closed the connection, never reads.
            m_client->dataToSend(build(End{}));
        }
    }
}
