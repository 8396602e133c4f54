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

DirectoryModel::DirectoryModel(const Deps &deps, QObject *parent) : QObject(parent), m_deps(deps)
{
    connect(&m_deps.directory, &DirectoryClient::usersChanged, this, &DirectoryModel::usersChanged);
    connect(&m_deps.directory, &DirectoryClient::statusChanged, this,
            &DirectoryModel::statusChanged);
    connect(&m_deps.directory, &DirectoryClient::usersChanged, this,
            &DirectoryModel::statusChanged);
    connect(&m_deps.directory, &DirectoryClient::serverChoicesChanged, this,
            &DirectoryModel::serverChoicesChanged);
    connect(&m_deps.directory, &DirectoryClient::redirectOffered, this,
            &DirectoryModel::redirectOffered);
    connect(&m_deps.presence, &PalPresence::palListsChanged, this, &DirectoryModel::palsChanged);
    connect(&m_deps.presence, &PalPresence::palListsChanged, this, &DirectoryModel::statusChanged);
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
    const QList<Directory::User> &users = m_deps.directory.users();
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
    for (int index : m_deps.presence.onlinePals())
        rows.append({listKey(index), m_deps.pals.entries[size_t(index - 1)].Name, {}, {}});
    return rows;
}

QList<DirectoryModel::Row> DirectoryModel::offlinePals() const
{
    QList<Row> rows;
    for (int index : m_deps.presence.offlinePals())
        rows.append({listKey(index), m_deps.pals.entries[size_t(index - 1)].Name, {}, {}});
    return rows;
}

QString DirectoryModel::status() const
{
    if (m_deps.presence.connectionLost() && m_deps.directory.connected())
        return QStringLiteral("Unable to contact Pal Server");
    return m_deps.directory.status();
}

bool DirectoryModel::listStale() const
{
    return m_deps.directory.listStale();
}

QString DirectoryModel::onlineCount() const
{
    return m_deps.directory.onlineText();
}

QString DirectoryModel::listedCount() const
{
    return m_deps.directory.listedText();
}

QStringList DirectoryModel::serverChoices() const
{
    return m_deps.directory.serverChoices();
}

QString DirectoryModel::serverText() const
{
    return m_deps.settings.DirAddress + QLatin1Char(':') + QString::number(m_deps.settings.DirPort);
}

void DirectoryModel::activated()
{
    const qint64 today = QDate::currentDate().toJulianDay();
    if (!m_forceRefresh && m_nextRefreshDay > today) return;
    m_forceRefresh = false;
    m_nextRefreshDay = today + RefreshAfterDays;
    const Settings &s = m_deps.settings;
    if (s.DirAddress.isEmpty()) {
        m_deps.directory.setStatus(QStringLiteral("Type in IP Address for Connection"));
        return;
    }
    if (!m_deps.directory.connected()) {
        m_deps.directory.connectDirectory(s.DirAddress, s.DirPort);
    } else {
        m_deps.directory.setStatus(QStringLiteral("Requesting User List"));
        m_deps.directory.requestList();
    }
    m_deps.presence.checkTick();
}

void DirectoryModel::setVisible(bool visible)
{
    m_deps.presence.setWindowVisible(visible);
    m_deps.directory.setWanted(visible);
}

void DirectoryModel::chooseServer(const QString &text)
{
    QString host;
    qint16 port = 0;
    Directory::splitServerAddress(text, &host, &port);
    m_deps.settings.DirAddress = host;
    m_deps.settings.DirPort = port;
    m_deps.directory.connectDirectory(host, port);
}

int DirectoryModel::userIndex(const QString &key) const
{
    return key.isEmpty() ? 0 : keyIndex(key);
}

QString DirectoryModel::selectUser(const QString &key)
{
    const Directory::User *user = m_deps.directory.user(userIndex(key));
    if (!user) return {};
    m_callEnabled = true;
    return user->address;
}

QString DirectoryModel::selectOnlinePal(const QString &key)
{
    const int index = userIndex(key);
    if (index < 1 || index > m_deps.pals.count()) return {};
    m_callEnabled = true;
    return m_deps.pals.entries[size_t(index - 1)].Address;
}

void DirectoryModel::callUser(const QString &key)
{
    const int index = userIndex(key);
    if (const Directory::User *user = m_deps.directory.user(index))
        emit callRequested(user->address, user->port, index);
}

void DirectoryModel::callPal(const QString &key)
{
    const int index = userIndex(key);
    if (index < 1 || index > m_deps.pals.count()) return;
    const PalEntry &pal = m_deps.pals.entries[size_t(index - 1)];
    emit callRequested(pal.Address, pal.Port, 0);
}

void DirectoryModel::call(const QString &address, const QString &selectedUserKey)
{
    // The Call button calls port 2000 (a typed address may carry its own port); the listed
    // user's entry gives the progress window its name and place.
    const int index =
        m_deps.directory.user(userIndex(selectedUserKey)) ? userIndex(selectedUserKey) : 0;
    QString host;
    quint16 port = DefaultBasePort;
    NetAddress::splitTarget(address, &host, &port);
    emit callRequested(host.isEmpty() ? address : host, port, index);
}

void DirectoryModel::sendMessage(const QString &selectedUserKey, const QString &selectedPalKey)
{
    if (const Directory::User *user = m_deps.directory.user(userIndex(selectedUserKey))) {
        if (user->id < Pal::FirstId || user->id > Pal::LastId) {
            m_deps.messages.messageBox(
                QStringLiteral("This person is using an older version. You "
                               "cannot send a message to an older version."));
            return;
        }
        emit composeRequested(user->name, user->location, user->address, user->port);
        return;
    }
    const int index = userIndex(selectedPalKey);
    if (index < 1 || index > m_deps.pals.count()) {
        m_deps.messages.messageBox(QStringLiteral("Select a user to send message."));
        return;
    }
    const PalEntry &pal = m_deps.pals.entries[size_t(index - 1)];
    emit composeRequested(pal.Name, pal.Location, pal.Address, pal.Port);
}

void DirectoryModel::refresh()
{
    if (m_deps.directory.connected()) {
        m_deps.directory.setStatus(QStringLiteral("Refreshing Directory List"));
        m_deps.directory.requestList();
    }
    m_deps.presence.checkTick();
}

bool DirectoryModel::addPal(const QString &address)
{
    if (address.isEmpty()) {
        m_deps.messages.messageBox(
            QStringLiteral("You must enter an email address to add this Pal"),
            QStringLiteral("Pal Entry"));
        return false;
    }
    if (!m_deps.presence.addPal(address, address)) {
        m_deps.messages.messageBox(
            QStringLiteral("Your pal list is full: delete a pal before adding another."),
            QStringLiteral("Pal Entry"));
        return false;
    }
    m_deps.presence.startCycle();
    return true;
}

void DirectoryModel::deletePal(const QString &onlineKey, const QString &offlineKey)
{
    // The second list wins when both have a selection.
    const QString key = offlineKey.isEmpty() ? onlineKey : offlineKey;
    const int index = userIndex(key);
    if (index >= 1) m_deps.presence.deletePal(index);
}

void DirectoryModel::acceptRedirect(const QString &address)
{
    Settings &s = m_deps.settings;
    if (address.contains(QLatin1Char(':')))
        Directory::splitServerAddress(address, &s.DirAddress, &s.DirPort);
    emit serverTextChanged(serverText());
    m_deps.directory.connectDirectory(s.DirAddress, s.DirPort);
    if (m_deps.directory.connected()) m_deps.directory.requestIntro();
}

QSize DirectoryModel::sizeTwips() const
{
    return QSize(m_deps.settings.DirWidth, m_deps.settings.DirHeight)
        .expandedTo(QSize(MinimumWidthTwips, MinimumHeightTwips));
}

QSize DirectoryModel::resized(int widthTwips, int heightTwips)
{
    const QSize size =
        QSize(widthTwips, heightTwips).expandedTo(QSize(MinimumWidthTwips, MinimumHeightTwips));
    m_deps.settings.DirWidth = size.width();
    m_deps.settings.DirHeight = size.height();
    return size;
}
