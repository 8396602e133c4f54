// The keys of the people this program has had encrypted calls with, by the name they call
// under: the first call remembers a key, a later call under the same name with another key is
// a warning. Kept beside the pal list in a file of their own ("palkeys": per line the key's
// SHA-256 in hex, a blank, the name), replaced whole on every change.
#pragma once

#include "platform/textfile.h"

#include <QByteArray>
#include <QString>

#include <map>

class PeerKeys
{
public:
    inline static const QString FileName = QStringLiteral("palkeys");
    // The oldest-remembered names go first beyond this many.
    static constexpr int Capacity = 1000;

    explicit PeerKeys(const QString &path = FileName) : m_path(path) {}

    // A missing file is an empty list; damaged lines are skipped.
    void load();
    FileError save() const;

    // The key remembered for a name (empty when none).
    QByteArray keyOf(const QString &name) const;
    // Remembers (or replaces) a name's key and saves the file.
    FileError remember(const QString &name, const QByteArray &key);
    int count() const { return int(m_keys.size()); }

private:
    QString m_path;
    std::map<QString, QByteArray> m_keys;
    std::map<QString, qint64> m_order; // when each name was remembered, for the bound
    qint64 m_next = 0;
};
