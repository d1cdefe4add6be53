#include "tools/scalesim/ServedLine.h"

#include <termios.h>

#include "platform/serial/BaudRates.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/posix/SystemError.h"

namespace scalesim {

namespace {

// Bounds the answers queued for a reader that sends probes but never reads.
constexpr std::size_t kMaxQueued = 256;

}  // namespace

std::optional<ServedLine> ServedLine::Open(int comPort, const std::string& portDir,
                                           std::string* error) {
    auto pty = serial_port::PseudoTerminal::Create(error);
    if (!pty)
        return std::nullopt;
    // Raw mode stays with the line after the device side is let go.
    pty->ReleaseDevice();

    std::optional<PortLink> link;
    if (!portDir.empty()) {
        link = PortLink::Create(portDir, "COM" + std::to_string(comPort), pty->DevicePath(), error);
        if (!link)
            return std::nullopt;
    }
    ServedLine line(comPort, std::move(*pty), std::move(link));
    line.Recheck();
    return line;
}

ServedLine::ServedLine(int comPort, serial_port::PseudoTerminal pty, std::optional<PortLink> link)
    : m_comPort(comPort), m_pty(std::move(pty)), m_link(std::move(link)) {}

ServedLine::ServedLine(ServedLine&& other) noexcept
    : m_comPort(other.m_comPort),
      m_pty(std::move(other.m_pty)),
      m_link(std::exchange(other.m_link, std::nullopt)),
      m_connected(std::exchange(other.m_connected, false)),
      m_out(std::move(other.m_out)),
      m_frameEnd(std::exchange(other.m_frameEnd, 0)) {}

ServedLine& ServedLine::operator=(ServedLine&& other) noexcept {
    if (this != &other) {
        m_link.reset();  // the link goes before the line it names
        m_comPort = other.m_comPort;
        m_pty = std::move(other.m_pty);
        m_link = std::exchange(other.m_link, std::nullopt);
        m_connected = std::exchange(other.m_connected, false);
        m_out = std::move(other.m_out);
        m_frameEnd = std::exchange(other.m_frameEnd, 0);
    }
    return *this;
}

ServedLine::~ServedLine() {
    m_link.reset();  // the link goes before the line it names
}

std::optional<unsigned> ServedLine::Baud() const {
    termios settings{};
    if (::tcgetattr(m_pty.Descriptor(), &settings) != 0)
        return std::nullopt;
    return serial_port::BaudOfSpeedCode(static_cast<unsigned>(::cfgetospeed(&settings)));
}

void ServedLine::Recheck() {
    if (m_connected || m_pty.Descriptor() < 0)
        return;
    pollfd p{m_pty.Descriptor(), POLLIN, 0};
    if (::poll(&p, 1, 0) >= 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0)
        m_connected = true;
}

void ServedLine::Disconnect() {
    m_connected = false;
    m_out.clear();
    m_frameEnd = 0;
}

std::vector<std::uint8_t> ServedLine::Receive(short revents) {
    std::vector<std::uint8_t> in;
    if (!m_connected)
        return in;
    // Bytes a port wrote just before it let go are still readable after the hang-up.
    if (revents & (POLLIN | POLLHUP | POLLERR)) {
        std::uint8_t buf[256];
        for (;;) {
            const ssize_t n = ::read(m_pty.Descriptor(), buf, sizeof buf);
            if (n > 0) {
                in.insert(in.end(), buf, buf + n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 || errno != EAGAIN)
                Disconnect();  // EIO: nobody holds the device side
            break;
        }
    }
    if (revents & (POLLHUP | POLLERR | POLLNVAL))
        Disconnect();
    return in;
}

bool ServedLine::QueueFrame(const Frame& frame) {
    if (!m_connected || m_frameEnd > 0)
        return false;
    m_out.insert(m_out.end(), frame.begin(), frame.end());
    m_frameEnd = m_out.size();
    return true;
}

void ServedLine::QueueAnswer(std::span<const std::uint8_t> bytes) {
    if (m_connected && m_out.size() + bytes.size() <= kMaxQueued)
        m_out.insert(m_out.end(), bytes.begin(), bytes.end());
}

int ServedLine::Flush() {
    std::size_t written = 0;
    while (m_connected && written < m_out.size()) {
        const ssize_t n =
            ::write(m_pty.Descriptor(), m_out.data() + written, m_out.size() - written);
        if (n > 0)
            written += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && errno == EAGAIN)
            break;  // full: poll() says when it takes more
        else
            Disconnect();
    }
    if (!m_connected)
        return 0;
    m_out.erase(m_out.begin(), m_out.begin() + static_cast<std::ptrdiff_t>(written));
    if (m_frameEnd == 0)
        return 0;
    if (written >= m_frameEnd) {
        m_frameEnd = 0;
        return 1;
    }
    m_frameEnd -= written;
    return 0;
}

}  // namespace scalesim
