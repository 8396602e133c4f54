// Deciding who is answered.
#include "answeringpolicy.h"

#include "userdata/lists.h"

#include <QFile>
#include <QHostAddress>

namespace
{
bool sameName(const QString &a, const QString &b)
{
    return a.simplified().compare(b.simplified(), Qt::CaseInsensitive) == 0;
}

// IPv4 addresses may come as IPv4-mapped IPv6 ones from a dual-stack listener.
QHostAddress plain(const QString &text)
{
    QHostAddress address(text.trimmed());
    bool v4 = false;
    const quint32 ip4 = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip4) : address;
}

bool inNetwork(const QString &host, const QString &network)
{
    const QHostAddress from = plain(host);
    if (from.isNull()) return false;
    if (!network.contains(QLatin1Char('/'))) return from.isEqual(plain(network));
    const auto subnet = QHostAddress::parseSubnet(network);
    return subnet.second >= 0 && from.isInSubnet(subnet);
}
} // namespace

std::optional<AnsweringPolicy::Mode> AnsweringPolicy::modeNamed(const QString &word)
{
    for (Mode m : {Mode::Pals, Mode::Everyone, Mode::List})
        if (word.compare(nameOf(m), Qt::CaseInsensitive) == 0) return m;
    return std::nullopt;
}

QString AnsweringPolicy::nameOf(Mode mode)
{
    switch (mode) {
    case Mode::Everyone:
        return QStringLiteral("everyone");
    case Mode::List:
        return QStringLiteral("list");
    case Mode::Pals:
        break;
    }
    return QStringLiteral("pals");
}

AnsweringPolicy::AnsweringPolicy(Mode mode, const PalList &pals) : m_mode(mode), m_pals(pals) {}

bool AnsweringPolicy::loadList(const QString &path, int *skipped)
{
    m_list.clear();
    if (skipped) *skipped = 0;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        QString line = QString::fromUtf8(raw);
        if (const qsizetype hash = line.indexOf(QLatin1Char('#')); hash >= 0) line.truncate(hash);
        line = line.simplified();
        if (line.isEmpty()) continue;
        const qsizetype blank = line.indexOf(QLatin1Char(' '));
        Allowed entry{line.left(blank), blank < 0 ? QString() : line.mid(blank + 1)};
        const bool valid = entry.network.contains(QLatin1Char('/'))
                               ? QHostAddress::parseSubnet(entry.network).second >= 0
                               : !QHostAddress(entry.network).isNull();
        if (valid)
            m_list.append(entry);
        else if (skipped)
            ++*skipped;
    }
    return true;
}

AnsweringPolicy::Verdict AnsweringPolicy::check(const QString &name, const QString &host) const
{
    switch (m_mode) {
    case Mode::Everyone:
        return {true, QStringLiteral("everyone is answered")};
    case Mode::List:
        return checkList(name, host);
    case Mode::Pals:
        break;
    }
    return checkPals(name, host);
}

AnsweringPolicy::Verdict AnsweringPolicy::checkPals(const QString &name, const QString &host) const
{
    bool addressKnown = false;
    for (const PalEntry &pal : m_pals.entries) {
        if (pal.Status != 2 || !inNetwork(host, pal.Address)) continue;
        if (sameName(pal.Name, name))
            return {true, QStringLiteral("pal %1 is online at this address").arg(pal.EMail)};
        addressKnown = true;
    }
    if (addressKnown)
        return {false, QStringLiteral("a pal is online at this address, but under another name")};
    return {false, QStringLiteral("no pal is online at this address")};
}

AnsweringPolicy::Verdict AnsweringPolicy::checkList(const QString &name, const QString &host) const
{
    bool addressListed = false;
    for (const Allowed &entry : m_list) {
        if (!inNetwork(host, entry.network)) continue;
        if (entry.name.isEmpty() || sameName(entry.name, name))
            return {true, QStringLiteral("%1 is on the list").arg(entry.network)};
        addressListed = true;
    }
    if (addressListed)
        return {false, QStringLiteral("the address is on the list, but not under this name")};
    return {false, QStringLiteral("the address is not on the list")};
}
