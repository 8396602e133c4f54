// Keeping unopened quick messages.
#include "messagestore.h"

#include "platform/usermessages.h"
#include "protocol/quickmessage.h"

#include <QDataStream>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace MessageStore
{

namespace
{
constexpr quint32 Magic = 0x4f564d53; // "OVMS"
constexpr quint32 Version = 1;

QDataStream &operator<<(QDataStream &out, const ReceivedMessage &m)
{
    return out << m.senderId << m.name << m.email << m.location << m.address << m.timeSent << m.text
               << m.picture << m.audio;
}

QDataStream &operator>>(QDataStream &in, ReceivedMessage &m)
{
    in >> m.senderId >> m.name >> m.email >> m.location >> m.address >> m.timeSent >> m.text >>
        m.picture;
    // The voice chunks as the list operator writes them (a count, then each chunk), but with the
    // count checked first: the list operator makes room for whatever count a damaged file gives,
    // gigabytes at a time.
    quint32 chunks = 0;
    in >> chunks;
    if (chunks > quint32(QuickMessage::MaxChunks)) {
        in.setStatus(QDataStream::ReadCorruptData);
        return in;
    }
    m.audio.clear();
    for (quint32 i = 0; i < chunks && in.status() == QDataStream::Ok; ++i) {
        QByteArray chunk;
        in >> chunk;
        m.audio.append(chunk);
    }
    return in;
}
} // namespace

QByteArray encode(const QList<ReceivedMessage> &unopened)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << Magic << Version << quint32(unopened.size());
    for (const ReceivedMessage &m : unopened)
        out << m;
    return bytes;
}

bool decode(const QByteArray &bytes, QList<ReceivedMessage> *unopened)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0, version = 0, count = 0;
    in >> magic >> version >> count;
    if (in.status() != QDataStream::Ok || magic != Magic || version != Version ||
        count > quint32(QuickMessage::Slots))
        return false;
    QList<ReceivedMessage> read;
    for (quint32 i = 0; i < count; ++i) {
        ReceivedMessage m;
        in >> m;
        // A message never holds more than the protocol lets it.
        if (in.status() != QDataStream::Ok || m.picture.size() > QuickMessage::MaxPicture)
            return false;
        for (const QByteArray &chunk : std::as_const(m.audio))
            if (chunk.size() > QuickMessage::MaxChunk) return false;
        read.append(m);
    }
    if (!in.atEnd()) return false;
    *unopened = read;
    return true;
}

QList<ReceivedMessage> load(UserMessages &messages, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    // No honest file is larger than ten full messages (and a read of that much would make room
    // for all of it first, whatever the file holds).
    const QByteArray bytes = file.read(std::min<qint64>(file.size(), 4 * 1024 * 1024));
    file.close();
    QList<ReceivedMessage> unopened;
    if (decode(bytes, &unopened)) return unopened;
    const QString aside = path + QStringLiteral(".damaged");
    QFile::remove(aside);
    QFile::rename(path, aside);
    messages.showErrorMessage(QStringLiteral("The unopened quick messages in %1 could not be "
                                             "read; the file was set aside as %2.")
                                  .arg(path, aside));
    return {};
}

bool save(const QList<ReceivedMessage> &unopened, UserMessages &messages, const QString &path)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(encode(unopened)) >= 0 && file.commit())
        return true;
    messages.showErrorMessage(QStringLiteral("Could not save the unopened quick messages, ") +
                              file.errorString());
    return false;
}

} // namespace MessageStore
