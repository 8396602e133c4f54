// Who is online.
#include "presence.h"

#include "protocol/pal.h"

namespace
{
// A user's ten fields as the list carries them: the list of that one user, less the header
// and the terminator. The list is then put together from these without building each again.
QByteArray recordOf(const Directory::User &user)
{
    static const qsizetype header =
        Directory::build(Directory::UserList{}).size() - Directory::Terminator.size();
    return Directory::build(Directory::UserList{0, 0, {user}})
        .mid(header)
        .chopped(Directory::Terminator.size());
}
} // namespace

QString Presence::clean(const QString &text, int length)
{
    QString out = text.left(length);
    // A surrogate pair cut in two would leave half a character.
    if (!out.isEmpty() && out.back().isHighSurrogate()) out.chop(1);
    for (QChar &c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == QLatin1Char(';') ||
            (c.unicode() >= 0x80 && c.unicode() < 0xa0))
            c = QLatin1Char(' ');
    return out.trimmed();
}

QString Presence::emailKey(const QString &email)
{
    return clean(email, EmailLength).toLower();
}

OnlineUser Presence::fromLogin(const Directory::Login &login, OnlineUser::Side side,
                               const QString &address)
{
    OnlineUser u;
    u.side = side;
    Directory::User &e = u.entry;
    e.id = login.id >= Pal::FirstId && login.id <= Pal::LastId ? login.id : 0;
    e.name = clean(login.name, NameLength);
    e.location = clean(login.location, LocationLength);
    e.address = address;
    e.comment = clean(login.comment, CommentLength);
    e.status = 0;
    e.video = login.video;
    e.audio = login.audio;
    e.kind = 1;
    e.port = login.basePort;
    u.email = emailKey(login.email);
    u.listed = side == OnlineUser::DirectorySide && login.listed;
    u.revision = clean(login.revision, 16);
    return u;
}

void Presence::add(OnlineUser *u)
{
    u->present = true;
    u->serial = ++m_serial;
    if (!u->email.isEmpty()) m_byEmail.insert(u->email, u);
    if (u->side == OnlineUser::PalSide) {
        ++m_palUsers;
        m_palHere += u->here;
        return;
    }
    ++m_directoryUsers;
    m_directoryHere += u->here;
    if (u->listed) {
        u->record = recordOf(u->entry);
        u->prev = m_last;
        u->next = nullptr;
        (m_last ? m_last->next : m_first) = u;
        m_last = u;
        ++m_listed;
    }
    m_list.clear();
}

void Presence::remove(OnlineUser *u)
{
    if (!u->present) return;
    u->present = false;
    if (!u->email.isEmpty()) m_byEmail.remove(u->email, u);
    if (u->side == OnlineUser::PalSide) {
        --m_palUsers;
        m_palHere -= u->here;
        return;
    }
    --m_directoryUsers;
    m_directoryHere -= u->here;
    if (u->listed) {
        (u->prev ? u->prev->next : m_first) = u->next;
        (u->next ? u->next->prev : m_last) = u->prev;
        u->prev = u->next = nullptr;
        --m_listed;
    }
    m_list.clear();
}

QList<OnlineUser *> Presence::removeAllBut(const QString &email, qint32 owner)
{
    QList<OnlineUser *> others;
    for (auto it = m_byEmail.constFind(email); it != m_byEmail.cend() && it.key() == email; ++it)
        if (it.value()->entry.id != owner) others << it.value();
    for (OnlineUser *u : others)
        remove(u);
    return others;
}

const QByteArray &Presence::userList()
{
    if (m_list.isEmpty()) {
        m_list = Directory::build(Directory::UserList{m_directoryUsers, m_listed, {}});
        m_list.chop(Directory::Terminator.size());
        m_list.reserve(m_list.size() + m_recordBytes + Directory::Terminator.size());
        int users = 0;
        for (const OnlineUser *u = m_first; u && users < Directory::MaxUsers; u = u->next, ++users)
            m_list += u->record;
        m_list += Directory::Terminator;
        m_recordBytes = m_list.size();
    }
    return m_list;
}

QByteArray Presence::lookup(const QString &email) const
{
    const QString key = emailKey(email);
    const OnlineUser *latest = nullptr;
    for (auto it = m_byEmail.constFind(key); it != m_byEmail.cend() && it.key() == key; ++it)
        if (!latest || it.value()->serial > latest->serial) latest = it.value();
    Directory::EmailAnswer answer{key, {}, {}, Directory::NotFoundAddress, 0};
    if (latest) {
        answer.name = latest->entry.name;
        answer.location = latest->entry.location;
        answer.address = latest->entry.address;
        answer.port = latest->entry.port;
    }
    return Directory::build(answer);
}
