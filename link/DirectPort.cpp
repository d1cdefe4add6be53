#include "link/DirectPort.h"

#include <poll.h>

#include <array>
#include <cerrno>

#include "scale/Protocol.h"

namespace scale_link {
namespace {

// Bounds a key's write, so that a stuck line never holds the reader.
constexpr std::uint32_t kWriteLimitMs = 1000;
// At 9600 baud a second brings 960 bytes: one read takes all that waits.
constexpr std::size_t kReadChunk = 1024;

}  // namespace

DirectPort::DirectPort(Events events) : m_events(std::move(events)) {}

DirectPort::~DirectPort() {
    Close();
}

bool DirectPort::Open(const std::string& device, serial_port::PortError* failure,
                      const scale::LineSettings& line) {
    Close();
    serial_port::PortError error;
    auto port = serial_port::SerialPort::Open(device, &error);
    serial_port::LineState state;
    if (port) {
        serial_port::Timeouts limits;
        limits.writeTotalConstant = kWriteLimitMs;
        error = port->SetTimeouts(limits);
    }
    if (port && !error.Failed())
        error = port->ReadLineState(state);
    if (port && !error.Failed()) {
        state.baud = static_cast<unsigned>(line.baud);
        state.parity = static_cast<serial_port::Parity>(line.parity);
        state.dataBits = line.dataBits;
        state.stopBits =
            line.stopBits == 2 ? serial_port::StopBits::kTwo : serial_port::StopBits::kOne;
        state.rtsControl = serial_port::RtsControl::kEnable;
        error = port->ApplyLineState(state);
    }
    if (port && !error.Failed())
        error = port->Purge();
    if (!port || error.Failed()) {
        if (failure)
            *failure = error;
        return false;
    }
    m_port = std::move(port);
    m_device = device;
    m_notifier = std::make_unique<QSocketNotifier>(m_port->WaitDescriptor(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { ReadNow(); });
    return true;
}

void DirectPort::Close() {
    m_notifier.reset();
    m_port.reset();
}

bool DirectPort::Send(std::uint8_t byte) {
    const std::uint8_t bytes[] = {byte};
    return Send(bytes);
}

bool DirectPort::Send(std::span<const std::uint8_t> bytes) {
    return m_port && !m_port->Write(bytes).Failed();
}

bool DirectPort::ReadWithin(std::chrono::milliseconds limit) {
    if (!m_port)
        return false;
    pollfd p{m_port->WaitDescriptor(), POLLIN, 0};
    int n = 0;
    do {
        n = ::poll(&p, 1, static_cast<int>(limit.count()));
    } while (n < 0 && errno == EINTR);
    return n > 0 && ReadNow();
}

bool DirectPort::ReadNow() {
    std::array<std::uint8_t, kReadChunk> buffer{};
    if (!m_port)
        return false;
    const serial_port::IoResult read = m_port->ReadAvailable(buffer);
    if (read.Failed()) {
        Lost(read.error.Describe());
        return false;
    }
    if (read.bytes > 0 && m_events.bytes)
        m_events.bytes(std::span<const std::uint8_t>(buffer.data(), read.bytes));
    return true;
}

void DirectPort::Lost(const std::string& why) {
    // The notifier is inside its own signal here: it is only switched off, and goes at the next
    // Open or Close.
    m_notifier->setEnabled(false);
    m_port.reset();
    if (m_events.lost)
        m_events.lost(why);
}

}  // namespace scale_link
