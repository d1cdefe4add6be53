#include "tools/scalesim/ServedLine.h"

#include <termios.h>

#include "platform/serial/BaudRates.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
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

std::optional<ServedLine> ServedLine::Listen(int comPort, std::uint16_t port, std::string* error) {
    posix::UniqueFd listening(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (!listening ||
        ::setsockopt(listening.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(listening.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listening.Get(), 1) != 0) {
        *error = "cannot listen on 127.0.0.1 port " + std::to_string(port) + ": " +
                 posix::ErrnoText(errno);
        return std::nullopt;
    }
    ServedLine line(comPort, std::nullopt, std::nullopt);
    line.m_listen = std::move(listening);
    line.m_address = "tcp://127.0.0.1:" + std::to_string(port);
    return line;
}

ServedLine::ServedLine(int comPort, std::optional<serial_port::PseudoTerminal> pty,
                       std::optional<PortLink> link)
    : m_comPort(comPort), m_pty(std::move(pty)), m_link(std::move(link)) {}

ServedLine::ServedLine(ServedLine&& other) noexcept
    : m_comPort(other.m_comPort),
      m_pty(std::move(other.m_pty)),
      m_listen(std::move(other.m_listen)),
      m_client(std::move(other.m_client)),
      m_address(std::move(other.m_address)),
      m_link(std::exchange(other.m_link, std::nullopt)),
      m_connected(std::exchange(other.m_connected, false)),
      m_out(std::move(other.m_out)),
      m_frameEnd(std::exchange(other.m_frameEnd, 0)) {}

ServedLine& ServedLine::operator=(ServedLine&& other) noexcept {
    if (this != &other) {
        m_link.reset();  // the link goes before the line it names
        m_comPort = other.m_comPort;
        m_pty = std::move(other.m_pty);
        m_listen = std::move(other.m_listen);
        m_client = std::move(other.m_client);
        m_address = std::move(other.m_address);
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
    if (!m_pty || ::tcgetattr(m_pty->Descriptor(), &settings) != 0)
        return std::nullopt;
    return serial_port::BaudOfSpeedCode(static_cast<unsigned>(::cfgetospeed(&settings)));
}

void ServedLine::Recheck() {
    if (!m_connected && !m_pty) {
        m_client = posix::UniqueFd(
            ::accept4(m_listen.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        m_connected = static_cast<bool>(m_client);
    }
    if (m_connected || !m_pty || m_pty->Descriptor() < 0)
        return;
    pollfd p{m_pty->Descriptor(), POLLIN, 0};
    if (::poll(&p, 1, 0) >= 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0)
        m_connected = true;
}

void ServedLine::Disconnect() {
    m_client.Reset();
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
            const ssize_t n = ::read(Descriptor(), buf, sizeof buf);
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
        const ssize_t n = ::write(Descriptor(), m_out.data() + written, m_out.size() - written);
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
