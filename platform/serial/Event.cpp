#include "platform/serial/Event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <utility>

namespace serial_port {

std::optional<Event> Event::Create(PortError* error) {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        if (error)
            *error = PortError::FromErrno(errno);
        return std::nullopt;
    }
    return Event(fd);
}

Event::Event(Event&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_signalled(other.m_signalled.load()) {}

Event& Event::operator=(Event&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_signalled.store(other.m_signalled.load());
    }
    return *this;
}

Event::~Event() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void Event::Set() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_signalled.load(std::memory_order_relaxed))
        return;
    const std::uint64_t one = 1;
    // The counter cannot overflow (it is read back to 0 on every Reset), so only EINTR can
    // interrupt this write.
    while (::write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
    m_signalled.store(true, std::memory_order_release);
}

void Event::Reset() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_signalled.load(std::memory_order_relaxed))
        return;
    std::uint64_t value = 0;
    while (::read(m_fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
    m_signalled.store(false, std::memory_order_release);
}

}  // namespace serial_port
