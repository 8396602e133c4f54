// The quick messages that arrived and are not opened yet, kept in a file of their own beside the
// lists ("ovela.msg"), replaced atomically whenever they change, so a restart or a crash never
// loses a message that arrived. A damaged file is reported and set aside, never fatal.
#pragma once

#include "messaging/receivedmessage.h"

#include <QString>

class UserMessages;

namespace MessageStore
{
inline const QString FileName = QStringLiteral("ovela.msg");

// The messages in the file (none when there is no file); a damaged file is set aside and
// reported through `messages`.
QList<ReceivedMessage> load(UserMessages &messages, const QString &path = FileName);
// False (and the reason reported) when the file cannot be written; the old file then stays.
bool save(const QList<ReceivedMessage> &unopened, UserMessages &messages,
          const QString &path = FileName);
// The file's bytes and back (exposed for tests and fuzzing); false for anything damaged.
QByteArray encode(const QList<ReceivedMessage> &unopened);
bool decode(const QByteArray &bytes, QList<ReceivedMessage> *unopened);
} // namespace MessageStore
