#include "platform/serial/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/posix/SystemError.h"

namespace serial_port {

namespace {

constexpr int kWriteStallMs = 10000;

}  // namespace

std::optional<PseudoTerminal> PseudoTerminal::Create(std::string* error) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        if (error)
            *error = "openpty: " + posix::ErrnoText(errno);
        return std::nullopt;
    }
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    PseudoTerminal pty(master, name);
    pty.m_keepAlive = posix::UniqueFd(slave);
    return pty;
}

PseudoTerminal::PseudoTerminal(int master, std::string devicePath)
    : m_master(master), m_devicePath(std::move(devicePath)) {}

PseudoTerminal::PseudoTerminal(PseudoTerminal&& other) noexcept
    : m_master(std::move(other.m_master)),
      m_keepAlive(std::move(other.m_keepAlive)),
      m_devicePath(std::move(other.m_devicePath)) {}

PseudoTerminal& PseudoTerminal::operator=(PseudoTerminal&& other) noexcept {
    if (this != &other) {
        HangUp();
        m_master = std::move(other.m_master);
        m_keepAlive = std::move(other.m_keepAlive);
        m_devicePath = std::move(other.m_devicePath);
    }
    return *this;
}

PseudoTerminal::~PseudoTerminal() {
    HangUp();
}

bool PseudoTerminal::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (m_master.Get() < 0)
            return false;
        const ssize_t n = ::write(m_master.Get(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // The line is full: wait for the reader, but not for ever if nobody reads.
            pollfd p{m_master.Get(), POLLOUT, 0};
            const int ready = ::poll(&p, 1, kWriteStallMs);
            if (ready < 0 && errno != EINTR)
                return false;
            if (ready == 0 || (p.revents & (POLLERR | POLLNVAL)))
                return false;
            continue;
        }
        return false;
    }
    return true;
}

std::vector<std::uint8_t> PseudoTerminal::Read(std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> out;
    if (m_master.Get() < 0)
        return out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        std::uint8_t buf[4096];
        const ssize_t n = ::read(m_master.Get(), buf, sizeof buf);
        if (n > 0) {
            out.assign(buf, buf + n);
            return out;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: nothing yet. EIO: nobody holds the device side right now.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return out;
        pollfd p{m_master.Get(), POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno != EINTR)
            return out;
        if (r > 0 && (p.revents & POLLIN) == 0) {
            // Hung up with nothing to read: wait out the rest without spinning.
            ::poll(nullptr, 0, static_cast<int>(left.count()));
            return out;
        }
    }
}

std::vector<std::uint8_t> PseudoTerminal::ReadExactly(std::size_t count,
                                                      std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        const auto chunk = Read(left);
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    return out;
}

std::size_t PseudoTerminal::QueuedAtDevice() const {
    int queued = 0;
    if (m_keepAlive.Get() < 0 || ::ioctl(m_keepAlive.Get(), FIONREAD, &queued) != 0 || queued < 0)
        return 0;
    return static_cast<std::size_t>(queued);
}

bool PseudoTerminal::WaitQueuedAtDevice(std::chrono::milliseconds timeout) const {
    if (m_keepAlive.Get() < 0)
        return false;
    pollfd p{m_keepAlive.Get(), POLLIN, 0};
    for (;;) {
        const int n = ::poll(&p, 1, static_cast<int>(timeout.count()));
        if (n < 0 && errno == EINTR)
            continue;
        return n > 0 && (p.revents & POLLIN) != 0;
    }
}

void PseudoTerminal::HangUp() {
    m_keepAlive.Reset();
    m_master.Reset();
}

void PseudoTerminal::ReleaseDevice() {
    m_keepAlive.Reset();
}

}  // namespace serial_port
