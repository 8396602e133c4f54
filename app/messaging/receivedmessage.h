// One quick message as it was received: who sent it, from where and when, its text, its picture
// (JPEG bytes, empty when none) and its voice clip (GSM blocks).
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct ReceivedMessage {
    qint32 senderId = 0;
    QString name, email, location, address, timeSent, text;
    QByteArray picture;
    QList<QByteArray> audio;
    bool operator==(const ReceivedMessage &) const = default;
};
