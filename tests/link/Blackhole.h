#pragma once

// Loopback sockets for links on the network: a listener, a connection it never accepts, and
// whether a connect to a port waits for an answer. A listener with a backlog of 0 that one such
// connection fills answers no further connect: Linux drops the SYNs, as a host that stopped
// answering does.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/posix/UniqueFd.h"

namespace linktest {

// Listens on loopback at `port` (0: any), with `backlog`.
inline posix::UniqueFd Listen(int port, int backlog) {
    posix::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.Get(), backlog) != 0)
        return {};
    return fd;
}

inline int PortOf(int fd) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

// A connection to `port` that completes in the kernel, never accepted.
inline posix::UniqueFd Connected(int port) {
    posix::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return {};
    return fd;
}

// A connect to `port` on loopback is waiting for its SYN's answer (SYN_SENT in the kernel's
// table).
inline bool ConnectPending(int port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (state == "02" && remote.size() > 5 &&
            std::stoi(remote.substr(remote.size() - 4), nullptr, 16) == port)
            return true;
    }
    return false;
}

}  // namespace linktest
