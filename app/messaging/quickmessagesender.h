// The sending side of one quick message (one per compose window): its own connection to the
// recipient's base port + 2, the request, the message, the picture on the first MRN, then every
// audio chunk and MAF in one write, then MSE. The recipient closes the connection when the
// message is complete, which ends the exchange.
#pragma once

#include "platform/endpointerror.h"
#include "protocol/quickmessage.h"

#include <QObject>
#include <QTimer>

#include <memory>

class LineClient;
class Transports;
class UserMessages;

class QuickMessageSender : public QObject
{
    Q_OBJECT
public:
    struct Outgoing {
        QuickMessage::Body body;
        QByteArray picture;
        bool sendPicture = false;
        QList<QByteArray> audio;
        bool sendAudio = false;
    };

    static constexpr int ProgressMs = 250;

    QuickMessageSender(Transports &transports, UserMessages &messages, QObject *parent = nullptr);
    ~QuickMessageSender() override;

    // Starts the exchange; false (and the user told) when the address cannot be used.
    bool send(const QString &address, quint16 basePort, const Outgoing &message);
    void close();
    QString status() const { return m_status; }

signals:
    void statusChanged(const QString &text);
    // The activity panel: on while a message is under way.
    void busyChanged(bool busy);
    void pictureSent();
    void audioSent();
    // The recipient closed the connection: the message went, or it had no room.
    void finished();
    // How much of the picture or the voice clip has left, 0 to 100, while it goes (a slow link
    // takes seconds); -1 when nothing is under way.
    void progress(int percent);

private:
    void setStatus(const QString &text);
    void onConnected(int status, const QString &description);
    void invalidAddress(const EndpointError &error);
    void onData(const QByteArray &bytes);
    void sendTracked(const QByteArray &bytes);
    void reportProgress();

    UserMessages &m_messages;
    std::unique_ptr<LineClient> m_client; // the recipient's base port + 2
    QuickMessage::Reader m_reader;
    Outgoing m_message;
    QString m_status;
    QTimer m_progress;
    qint64 m_tracked = 0; // bytes of the picture or clip under way
};
