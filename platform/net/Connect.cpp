#include "platform/net/Connect.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/posix/WakeupFd.h"

namespace net {
namespace {

using Clock = std::chrono::steady_clock;

thread_local int t_stopFd = -1;

// A far end silent this long is asked, this often, this many times, before the line is gone.
constexpr int kKeepIdleSeconds = 10;
constexpr int kKeepIntervalSeconds = 5;
constexpr int kKeepProbes = 3;

struct AddressList {
    addrinfo* list = nullptr;
    ~AddressList() {
        if (list)
            ::freeaddrinfo(list);
    }
};

// What the resolver's thread hands over; whoever leaves last frees it.
struct Lookup {
    std::mutex lock;
    posix::UniqueFd done = posix::MakeWakeupFd();  // readable once finished
    bool finished = false;
    int result = 0;
    AddressList addresses;
};

posix::Result<std::shared_ptr<Lookup>> Resolve(const std::string& host, std::uint16_t port,
                                               Clock::time_point deadline) {
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host, service = std::to_string(port)] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
        addrinfo* found = nullptr;
        const int result = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
        const std::lock_guard hold(lookup->lock);
        lookup->result = result;
        lookup->addresses.list = found;
        lookup->finished = true;
        posix::SignalWakeupFd(lookup->done.Get());
    }).detach();
    // A poll, so that this thread's stop ends the wait as well.
    if (!lookup->done || !WaitUntil(lookup->done.Get(), POLLIN, deadline))
        return posix::SystemError::Because("no answer for the name " + host + " in time");
    const std::lock_guard hold(lookup->lock);
    if (lookup->result == EAI_SYSTEM)
        return posix::SystemError::FromErrno(errno, "looking up " + host);
    if (lookup->result != 0)
        return posix::SystemError::Because("unknown host " + host + " (" +
                                           ::gai_strerror(lookup->result) + ")");
    return lookup;
}

void KeepAlive(int fd) {
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleSeconds, sizeof kKeepIdleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalSeconds,
                 sizeof kKeepIntervalSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepProbes, sizeof kKeepProbes);
}

// One address: the connected socket, or the errno value that refused it (ETIMEDOUT when the
// deadline came first).
posix::Result<posix::UniqueFd> ConnectOne(const addrinfo& address, Clock::time_point deadline) {
    posix::UniqueFd fd(::socket(address.ai_family,
                                address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                address.ai_protocol));
    if (!fd)
        return posix::SystemError::FromErrno(errno);
    if (::connect(fd.Get(), address.ai_addr, address.ai_addrlen) != 0 && errno != EINPROGRESS)
        return posix::SystemError::FromErrno(errno);
    if (!WaitUntil(fd.Get(), POLLOUT, deadline))
        return posix::SystemError::FromErrno(ETIMEDOUT);
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    if (error != 0)
        return posix::SystemError::FromErrno(error);
    KeepAlive(fd.Get());
    return fd;
}

}  // namespace

StopWaitsOn::StopWaitsOn(int fd) : m_previous(t_stopFd) {
    t_stopFd = fd;
}

StopWaitsOn::~StopWaitsOn() {
    t_stopFd = m_previous;
}

bool WaitUntil(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    // A stop of -1 is left out by poll.
    pollfd p[2] = {{fd, events, 0}, {t_stopFd, POLLIN, 0}};
    int ready = 0;
    do {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        ready = left.count() > 0 ? ::poll(p, 2, static_cast<int>(left.count())) : 0;
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && (p[1].revents & POLLIN) == 0;
}

posix::Result<posix::UniqueFd> ConnectTcp(const std::string& host, std::uint16_t port,
                                          std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    const auto lookup = Resolve(host, port, deadline);
    if (!lookup)
        return lookup.Error();
    std::optional<posix::SystemError> last;
    for (const addrinfo* a = (*lookup)->addresses.list; a; a = a->ai_next) {
        auto connected = ConnectOne(*a, deadline);
        if (connected)
            return connected;
        last = connected.Error();
    }
    posix::SystemError error = last.value_or(posix::SystemError::Because("no address"));
    error.detail = "connecting to " + host + " port " + std::to_string(port);
    return error;
}

}  // namespace net
