#include "link/DirectPort.h"

#include <poll.h>

#include <array>
#include <cerrno>

#include "scale/Protocol.h"

namespace scale_link {
namespace {

// At 9600 baud a second brings 960 bytes: one read takes all that waits.
constexpr std::size_t kReadChunk = 1024;

}  // namespace

DirectPort::DirectPort(Events events) : m_events(std::move(events)) {}

DirectPort::~DirectPort() {
    Close();
}

std::optional<serial_port::SerialPort> OpenLine(const std::string& device,
                                                const scale::LineSettings& line,
                                                serial_port::PortError* failure) {
    serial_port::PortError error;
    auto port = serial_port::SerialPort::Open(device, &error);
    serial_port::LineState state;
    if (port)
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
        return std::nullopt;
    }
    return port;
}

bool DirectPort::Open(const std::string& device, serial_port::PortError* failure,
                      const scale::LineSettings& line) {
    Close();
    auto port = OpenLine(device, line, failure);
    if (!port)
        return false;
    m_port = std::move(port);
    m_device = device;
    m_notifier = std::make_unique<QSocketNotifier>(m_port->WaitDescriptor(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { ReadNow(); });
    m_writable =
        std::make_unique<QSocketNotifier>(m_port->WaitDescriptor(), QSocketNotifier::Write);
    m_writable->setEnabled(false);
    QObject::connect(m_writable.get(), &QSocketNotifier::activated, [this] { SendWaiting(); });
    return true;
}

void DirectPort::Close() {
    m_notifier.reset();
    m_writable.reset();
    m_keys.clear();
    m_port.reset();
}

DirectPort::SendResult DirectPort::Send(std::uint8_t byte) {
    if (!m_port)
        return SendResult::kFailed;
    if (m_keys.size() >= kKeyQueueBound)
        return SendResult::kDropped;
    m_keys.push_back(byte);
    if (m_keys.size() == 1 && !SendWaiting())
        return SendResult::kFailed;
    return SendResult::kSent;
}

bool DirectPort::SendWaiting() {
    const bool waited = m_writable->isEnabled();
    while (!m_keys.empty()) {
        const std::uint8_t bytes[] = {m_keys.front()};
        const serial_port::IoResult written = m_port->WriteAvailable(bytes);
        if (written.Failed()) {
            // The line is going: its read tells.
            m_keys.clear();
            m_writable->setEnabled(false);
            return false;
        }
        if (written.bytes == 0) {
            m_writable->setEnabled(true);
            return true;
        }
        m_keys.pop_front();
    }
    m_writable->setEnabled(false);
    if (waited && m_events.keysTaken)
        m_events.keysTaken();
    return true;
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
    m_writable->setEnabled(false);
    m_keys.clear();
    m_port.reset();
    if (m_events.lost)
        m_events.lost(why);
}

}  // namespace scale_link
