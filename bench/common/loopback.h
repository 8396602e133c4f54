// The benchmarks' raw clients: a TCP connection to a port on this machine, opened without Qt so
// that thousands of them cost the benchmark nothing but their descriptors.
#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace benchsupport
{

// A connection to `port` on 127.0.0.1, or -1. Unless `blocking`, it may still be under way when
// it is returned. It comes from 127.0.0.1, or from 127.0.0.`from` when `from` > 1, so that the
// connections of a flood left in TIME_WAIT do not use up the ports of one address.
inline int connectTo(uint16_t port, bool blocking = true, int from = 1)
{
    const int fd =
        ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (blocking ? 0 : SOCK_NONBLOCK), 0);
    if (fd < 0) return -1;
    if (from > 1) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK + uint32_t(from - 1));
        ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace benchsupport
