#include "link/DirectPort.h"

#include <poll.h>

#include <array>
#include <cerrno>
#include <utility>

#include "scale/Protocol.h"

namespace scale_link {
namespace {

// At 9600 baud a second brings 960 bytes: one read takes all that waits.
constexpr std::size_t kReadChunk = 1024;

bool SameLine(const scale::LineSettings& a, const scale::LineSettings& b) {
    return a.baud == b.baud && a.parity == b.parity && a.dataBits == b.dataBits &&
           a.stopBits == b.stopBits;
}

}  // namespace

DirectPort::DirectPort(Events events) : m_events(std::move(events)) {}

DirectPort::~DirectPort() {
    Close();
}

bool DirectPort::Open(const std::string& device, serial_port::PortError* failure,
                      const scale::LineSettings& line) {
    std::optional<Offered> offered = std::exchange(m_offered, std::nullopt);
    if (offered && offered->device == device && SameLine(offered->line, line)) {
        Adopt(std::move(offered->wire), device);
        return true;
    }
    // A connection asked for again is set to the new line on the same connection.
    if (m_wire && m_wire->Lasting() && device == m_device) {
        m_keys.clear();
        m_writable->setEnabled(false);
        const serial_port::PortError error = m_wire->Restart(line);
        if (!error.Failed())
            return true;
    }
    Close();
    serial_port::PortError error;
    auto wire = OpenWire(device, line, &error);
    if (!wire) {
        if (failure)
            *failure = error;
        return false;
    }
    Adopt(std::move(wire), device);
    return true;
}

void DirectPort::Adopt(std::shared_ptr<Wire> wire, const std::string& device) {
    Close();
    m_wire = std::move(wire);
    m_device = device;
    m_notifier = std::make_unique<QSocketNotifier>(m_wire->WaitDescriptor(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { ReadNow(); });
    m_writable =
        std::make_unique<QSocketNotifier>(m_wire->WaitDescriptor(), QSocketNotifier::Write);
    m_writable->setEnabled(false);
    QObject::connect(m_writable.get(), &QSocketNotifier::activated, [this] { SendWaiting(); });
}

void DirectPort::Offer(std::shared_ptr<Wire> wire, const std::string& device,
                       const scale::LineSettings& line) {
    m_offered = Offered{std::move(wire), device, line};
}

void DirectPort::Close() {
    m_offered.reset();
    m_notifier.reset();
    m_writable.reset();
    m_keys.clear();
    m_wire.reset();
}

DirectPort::SendResult DirectPort::Send(std::uint8_t byte) {
    if (!m_wire)
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
        const serial_port::IoResult written = m_wire->WriteAvailable(bytes);
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
    return m_wire && !m_wire->Write(bytes).Failed();
}

bool DirectPort::ReadWithin(std::chrono::milliseconds limit) {
    if (!m_wire)
        return false;
    pollfd p{m_wire->WaitDescriptor(), POLLIN, 0};
    int n = 0;
    do {
        n = ::poll(&p, 1, static_cast<int>(limit.count()));
    } while (n < 0 && errno == EINTR);
    return n > 0 && ReadNow();
}

bool DirectPort::ReadNow() {
    // Left unset: only what the read fills is handed on.
    std::array<std::uint8_t, kReadChunk> buffer;
    if (!m_wire)
        return false;
    const serial_port::IoResult read = m_wire->ReadAvailable(buffer);
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
    m_wire.reset();
    if (m_events.lost)
        m_events.lost(why);
}

}  // namespace scale_link
