// Which process listens on a TCP port of this machine, read from /proc: the socket's inode from
// /proc/net/tcp and tcp6, then the process whose descriptors include it. Another user's process
// may keep its descriptors to itself: its number and name are then unknown.
#pragma once

#include <QString>

#include <optional>

struct PortOwner {
    qint64 pid = 0; // 0: unknown
    QString name;   // the process's name; empty: unknown
};

// Nothing when nothing listens there.
std::optional<PortOwner> tcpPortOwner(quint16 port);
