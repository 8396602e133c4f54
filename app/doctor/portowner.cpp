// Who listens on a port.
#include "portowner.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace
{

// The inode of a socket listening on `port`, from a /proc/net/tcp-style table; 0: none.
quint64 listeningInode(const QString &table, quint16 port)
{
    QFile file(table);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    file.readLine(); // the heading
    for (QByteArray line = file.readLine(); !line.isEmpty(); line = file.readLine()) {
        // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 10 || f[3] != "0A") continue; // 0A: LISTEN
        const qsizetype colon = f[1].lastIndexOf(':');
        bool ok = false;
        if (colon < 0 || f[1].mid(colon + 1).toUInt(&ok, 16) != port || !ok) continue;
        return f[9].toULongLong();
    }
    return 0;
}

} // namespace

std::optional<PortOwner> tcpPortOwner(quint16 port)
{
    quint64 inode = listeningInode(QStringLiteral("/proc/net/tcp"), port);
    if (inode == 0) inode = listeningInode(QStringLiteral("/proc/net/tcp6"), port);
    if (inode == 0) return std::nullopt;
    const QString target = QStringLiteral("socket:[%1]").arg(inode);
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid) continue;
        const QDir fds(proc.filePath(entry + QStringLiteral("/fd")));
        for (const QString &fd : fds.entryList(QDir::Files | QDir::System)) {
            char link[64] = {};
            const QByteArray path = QFile::encodeName(fds.filePath(fd));
            const ssize_t n = ::readlink(path.constData(), link, sizeof link - 1);
            if (n > 0 && QLatin1String(link, n) == target) {
                QFile comm(proc.filePath(entry + QStringLiteral("/comm")));
                PortOwner owner{pid, {}};
                if (comm.open(QIODevice::ReadOnly))
                    owner.name = QString::fromUtf8(comm.readAll()).trimmed();
                return owner;
            }
        }
    }
    return PortOwner{};
}
