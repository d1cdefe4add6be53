#include "platform/serial/Event.h"

#include <cerrno>
#include <utility>

#include "platform/posix/WakeupFd.h"

namespace serial_port {

std::optional<Event> Event::Create(PortError* error) {
    posix::UniqueFd fd = posix::MakeWakeupFd();
    if (!fd) {
        if (error)
            *error = PortError::FromErrno(errno);
        return std::nullopt;
    }
    return Event(std::move(fd));
}

Event::Event(Event&& other) noexcept
    : m_fd(std::move(other.m_fd)), m_signalled(other.m_signalled.load()) {}

Event& Event::operator=(Event&& other) noexcept {
    if (this != &other) {
        // The old descriptor is closed here, not handed to `other`.
        m_fd = posix::UniqueFd(other.m_fd.Release());
        m_signalled.store(other.m_signalled.load());
    }
    return *this;
}

Event::~Event() = default;

void Event::Set() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_signalled.load(std::memory_order_relaxed))
        return;
    posix::SignalWakeupFd(m_fd.Get());
    m_signalled.store(true, std::memory_order_release);
}

void Event::Reset() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_signalled.load(std::memory_order_relaxed))
        return;
    posix::ClearWakeupFd(m_fd.Get());
    m_signalled.store(false, std::memory_order_release);
}

}  // namespace serial_port
