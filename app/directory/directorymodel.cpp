// The directory window's model.
#include "directorymodel.h"

#include "directory/directoryclient.h"
#include "directory/palpresence.h"
#include "platform/netaddress.h"
#include "platform/usermessages.h"
#include "protocol/fields.h"
#include "protocol/pal.h"
#include "userdata/lists.h"
#include "userdata/settings.h"

#include <QDate>

QString DirectoryModel::listKey(int index)
{
    return QStringLiteral("%1A").arg(index, 4, 10, QLatin1Char('0'));
}

int DirectoryModel::keyIndex(const QString &key)
{
    return Fields::val32(key);
}

DirectoryModel::DirectoryModel(const Deps &deps, QObject *parent) : QObject(parent), m_(deps)
{
    connect(&m_.directory, &DirectoryClient::usersChanged, this, &DirectoryModel::usersChanged);
    connect(&m_.directory, &DirectoryClient::statusChanged, this, &DirectoryModel::statusChanged);
    connect(&m_.directory, &DirectoryClient::usersChanged, this, &DirectoryModel::statusChanged);
    connect(&m_.directory, &DirectoryClient::serverChoicesChanged, this,
            &DirectoryModel::serverChoicesChanged);
    connect(&m_.directory, &DirectoryClient::redirectOffered, this,
            &DirectoryModel::redirectOffered);
    connect(&m_.presence, &PalPresence::palListsChanged, this, &DirectoryModel::palsChanged);
}

int DirectoryModel::iconFor(int status, int kind, bool video, bool audio)
{
    if (status == 0) {
        const int base = video && audio ? 1 : video ? 3 : audio ? 5 : 7;
        return kind == 1 ? base : base + 1;
    }
    if (status == 1 || status == 2 || status == 4) return 9;
    return 7;
}

QList<DirectoryModel::Row> DirectoryModel::users() const
{
    QList<Row> rows;
    const QList<Directory::User> &users = m_.directory.users();
    for (int i = 0; i < users.size(); ++i) {
        const Directory::User &u = users[i];
        rows.append({listKey(i + 1), u.name, u.location, u.comment,
                     iconFor(u.status, u.kind, u.video, u.audio)});
    }
    return rows;
}

QList<DirectoryModel::Row> DirectoryModel::onlinePals() const
{
    QList<Row> rows;
    for (int index : m_.presence.onlinePals())
        rows.append({listKey(index), m_.pals.entries[size_t(index - 1)].Name, {}, {}});
    return rows;
}

QList<DirectoryModel::Row> DirectoryModel::offlinePals() const
{
    QList<Row> rows;
    for (int index : m_.presence.offlinePals())
        rows.append({listKey(index), m_.pals.entries[size_t(index - 1)].Name, {}, {}});
    return rows;
}

QString DirectoryModel::status() const
{
    return m_.directory.status();
}

QString DirectoryModel::onlineCount() const
{
    return m_.directory.onlineText();
}

QString DirectoryModel::listedCount() const
{
    return m_.directory.listedText();
}

QStringList DirectoryModel::serverChoices() const
{
    return m_.directory.serverChoices();
}

QString DirectoryModel::serverText() const
{
    return m_.settings.DirAddress + QLatin1Char(':') + QString::number(m_.settings.DirPort);
}

void DirectoryModel::activated()
{
    const qint64 today = QDate::currentDate().toJulianDay();
    if (!m_forceRefresh && m_nextRefreshDay > today) return;
    m_forceRefresh = false;
    m_nextRefreshDay = today + RefreshAfterDays;
    const Settings &s = m_.settings;
    if (s.DirAddress.isEmpty()) {
        m_.directory.setStatus(QStringLiteral("Type in IP Address for Connection"));
        return;
    }
    if (!m_.directory.connected()) {
        m_.directory.connectDirectory(s.DirAddress, s.DirPort);
    } else {
        m_.directory.setStatus(QStringLiteral("Requesting User List"));
        m_.directory.requestList();
    }
    m_.presence.checkTick();
}

void DirectoryModel::setVisible(bool visible)
{
    m_.presence.setWindowVisible(visible);
}

void DirectoryModel::chooseServer(const QString &text)
{
    QString host;
    qint16 port = 0;
    Directory::splitServerAddress(text, &host, &port);
    m_.settings.DirAddress = host;
    m_.settings.DirPort = port;
    m_.directory.connectDirectory(host, port);
}

int DirectoryModel::userIndex(const QString &key) const
{
    return key.isEmpty() ? 0 : keyIndex(key);
}

QString DirectoryModel::selectUser(const QString &key)
{
    const Directory::User *user = m_.directory.user(userIndex(key));
    if (!user) return {};
    m_callEnabled = true;
    return user->address;
}

QString DirectoryModel::selectOnlinePal(const QString &key)
{
    const int index = userIndex(key);
    if (index < 1 || index > m_.pals.count()) return {};
    m_callEnabled = true;
    return m_.pals.entries[size_t(index - 1)].Address;
}

void DirectoryModel::callUser(const QString &key)
{
    const int index = userIndex(key);
    if (const Directory::User *user = m_.directory.user(index))
        emit callRequested(user->address, user->port, index);
}

void DirectoryModel::callPal(const QString &key)
{
    const int index = userIndex(key);
    if (index < 1 || index > m_.pals.count()) return;
    const PalEntry &pal = m_.pals.entries[size_t(index - 1)];
    emit callRequested(pal.Address, pal.Port, 0);
}

void DirectoryModel::call(const QString &address, const QString &selectedUserKey)
{
    // The Call button calls port 2000 (a typed address may carry its own port); the listed
    // user's entry gives the progress window its name and place.
    const int index =
        m_.directory.user(userIndex(selectedUserKey)) ? userIndex(selectedUserKey) : 0;
    QString host;
    quint16 port = DefaultBasePort;
    NetAddress::splitTarget(address, &host, &port);
    emit callRequested(host.isEmpty() ? address : host, port, index);
}

void DirectoryModel::sendMessage(const QString &selectedUserKey, const QString &selectedPalKey)
{
    if (const Directory::User *user = m_.directory.user(userIndex(selectedUserKey))) {
        if (user->id < Pal::FirstId || user->id > Pal::LastId) {
            m_.messages.messageBox(QStringLiteral("This person is using an older version. You "
                                                  "cannot send a message to an older version."));
            return;
        }
        emit composeRequested(user->name, user->location, user->address, user->port);
        return;
    }
    const int index = userIndex(selectedPalKey);
    if (index < 1 || index > m_.pals.count()) {
        m_.messages.messageBox(QStringLiteral("Select a user to send message."));
        return;
    }
    const PalEntry &pal = m_.pals.entries[size_t(index - 1)];
    emit composeRequested(pal.Name, pal.Location, pal.Address, pal.Port);
}

void DirectoryModel::refresh()
{
    if (m_.directory.connected()) {
        m_.directory.setStatus(QStringLiteral("Refreshing Directory List"));
        m_.directory.requestList();
    }
    m_.presence.checkTick();
}

bool DirectoryModel::addPal(const QString &address)
{
    if (address.isEmpty()) {
        m_.messages.messageBox(QStringLiteral("You must enter an email address to add this Pal"),
                               QStringLiteral("Pal Entry"));
        return false;
    }
    if (!m_.presence.addPal(address, address)) {
        m_.messages.messageBox(
            QStringLiteral("Your pal list is full: delete a pal before adding another."),
            QStringLiteral("Pal Entry"));
        return false;
    }
    m_.presence.startCycle();
    return true;
}

void DirectoryModel::deletePal(const QString &onlineKey, const QString &offlineKey)
{
    // The second list wins when both have a selection.
    const QString key = offlineKey.isEmpty() ? onlineKey : offlineKey;
    const int index = userIndex(key);
    if (index >= 1) m_.presence.deletePal(index);
}

void DirectoryModel::acceptRedirect(const QString &address)
{
    Settings &s = m_.settings;
    if (address.contains(QLatin1Char(':')))
        Directory::splitServerAddress(address, &s.DirAddress, &s.DirPort);
    emit serverTextChanged(serverText());
    m_.directory.connectDirectory(s.DirAddress, s.DirPort);
    if (m_.directory.connected()) m_.directory.requestIntro();
}

QSize DirectoryModel::sizeTwips() const
{
    return QSize(m_.settings.DirWidth, m_.settings.DirHeight)
        .expandedTo(QSize(MinimumWidthTwips, MinimumHeightTwips));
}

QSize DirectoryModel::resized(int widthTwips, int heightTwips)
{
    const QSize size =
        QSize(widthTwips, heightTwips).expandedTo(QSize(MinimumWidthTwips, MinimumHeightTwips));
    m_.settings.DirWidth = size.width();
    m_.settings.DirHeight = size.height();
    return size;
}
