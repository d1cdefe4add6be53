#include "web/EventSockets.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTcpSocket>

#include <cerrno>
#include <utility>

namespace web {
namespace {

constexpr int kEventsAtOnce = 64;

// What the kernel took: 0 when it takes nothing now, -1 when the connection failed.
qsizetype SendSome(int fd, const QByteArray& bytes) {
    ssize_t n = 0;
    do {
        n = ::send(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()),
                   MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    return static_cast<qsizetype>(n);
}

}  // namespace

EventSockets::EventSockets() : m_epoll(::epoll_create1(EPOLL_CLOEXEC)) {
    if (!m_epoll)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_epoll.Get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &EventSockets::OnReady);
}

EventSockets::~EventSockets() = default;

int EventSockets::Adopt(QTcpSocket* socket, Hooks hooks) {
    if (!m_epoll || socket->bytesToWrite() != 0 ||
        socket->state() != QAbstractSocket::ConnectedState)
        return -1;
    posix::UniqueFd fd(::fcntl(static_cast<int>(socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0));
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.fd = fd.Get();
    if (!fd || ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, fd.Get(), &event) != 0)
        return -1;
    const int handle = fd.Get();
    m_clients.emplace(handle, Client{std::move(fd), {}, std::move(hooks)});
    return handle;
}

void EventSockets::Write(int handle, const QByteArray& bytes) {
    const auto found = m_clients.find(handle);
    if (found == m_clients.end())
        return;
    Client& client = found->second;
    if (!client.unsent.isEmpty()) {
        client.unsent += bytes;
        return;
    }
    // A failed connection is said by epoll (an error or a hang-up), and gone from there.
    const qsizetype sent = SendSome(handle, bytes);
    if (sent >= 0 && sent < bytes.size()) {
        client.unsent = sent == 0 ? bytes : bytes.mid(sent);
        Watch(handle, true);
    }
}

std::int64_t EventSockets::Unsent(int handle) const {
    const auto found = m_clients.find(handle);
    return found == m_clients.end() ? 0 : found->second.unsent.size();
}

void EventSockets::Close(int handle) {
    const auto found = m_clients.find(handle);
    if (found == m_clients.end())
        return;
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, handle, nullptr);
    m_clients.erase(found);
}

bool EventSockets::Watch(int fd, bool writable) {
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP | (writable ? EPOLLOUT : 0u);
    event.data.fd = fd;
    return ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_MOD, fd, &event) == 0;
}

bool EventSockets::Discard(int fd) {
    char bytes[4096];
    // A client that keeps sending is served its share a round, not the whole loop.
    for (int reads = 0; reads < 16; ++reads) {
        const ssize_t n = ::recv(fd, bytes, sizeof bytes, MSG_DONTWAIT);
        if (n > 0 || (n < 0 && errno == EINTR))
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

void EventSockets::OnReady() {
    epoll_event events[kEventsAtOnce];
    int count = 0;
    do {
        count = ::epoll_wait(m_epoll.Get(), events, kEventsAtOnce, 0);
    } while (count < 0 && errno == EINTR);
    for (int i = 0; i < count; ++i) {
        const int handle = events[i].data.fd;
        const auto found = m_clients.find(handle);
        if (found == m_clients.end())
            continue;  // closed by a hook earlier in this round
        const std::uint32_t what = events[i].events;
        bool alive = (what & (EPOLLERR | EPOLLHUP)) == 0;
        if (alive && (what & (EPOLLIN | EPOLLRDHUP)) != 0)
            alive = Discard(handle);
        if (alive && (what & EPOLLOUT) != 0) {
            Client& client = found->second;
            const qsizetype sent = SendSome(handle, client.unsent);
            alive = sent >= 0;
            if (alive && sent == client.unsent.size()) {
                client.unsent.clear();
                Watch(handle, false);
                const auto drained = client.hooks.drained;  // may write again
                if (drained)
                    drained();
            } else if (alive) {
                client.unsent.remove(0, sent);
            }
        }
        if (!alive) {
            const auto gone = std::move(found->second.hooks.gone);
            Close(handle);
            if (gone)
                gone();
        }
    }
}

}  // namespace web
