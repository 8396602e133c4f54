// The remembered keys file.
#include "peerkeys.h"

#include <QStringList>

#include <algorithm>

namespace
{
constexpr int KeyHexLength = 64; // SHA-256
}

void PeerKeys::load()
{
    m_keys.clear();
    m_order.clear();
    QStringList lines;
    if (!TextFile::readLines(m_path, &lines)) return;
    for (const QString &line : lines) {
        const QByteArray key = QByteArray::fromHex(line.left(KeyHexLength).toLatin1());
        const QString name = line.mid(KeyHexLength + 1);
        if (key.size() != KeyHexLength / 2 || line.size() <= KeyHexLength + 1 ||
            line.at(KeyHexLength) != QLatin1Char(' ') || name.trimmed().isEmpty())
            continue;
        m_keys[name] = key;
        m_order[name] = m_next++;
    }
}

FileError PeerKeys::save() const
{
    std::vector<std::pair<qint64, QString>> byAge;
    for (const auto &[name, when] : m_order)
        byAge.emplace_back(when, name);
    std::sort(byAge.begin(), byAge.end());
    QStringList lines;
    for (const auto &entry : byAge)
        lines << QString::fromLatin1(m_keys.at(entry.second).toHex()) + QLatin1Char(' ') +
                     entry.second;
    return TextFile::writeLines(m_path, lines);
}

QByteArray PeerKeys::keyOf(const QString &name) const
{
    const auto it = m_keys.find(name);
    return it == m_keys.end() ? QByteArray() : it->second;
}

FileError PeerKeys::remember(const QString &name, const QByteArray &key)
{
    if (name.trimmed().isEmpty() || key.isEmpty()) return {};
    m_keys[name] = key;
    m_order[name] = m_next++;
    while (int(m_keys.size()) > Capacity) {
        const auto oldest =
            std::min_element(m_order.begin(), m_order.end(),
                             [](const auto &a, const auto &b) { return a.second < b.second; });
        m_keys.erase(oldest->first);
        m_order.erase(oldest);
    }
    return save();
}
