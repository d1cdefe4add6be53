#include "link/NetworkWire.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <system_error>
#include <vector>

#include "platform/posix/WakeupFd.h"

#include "platform/net/ComPortClient.h"
#include "platform/net/Connect.h"
#include "platform/net/WireAddress.h"

namespace scale_link {
namespace {

using Clock = std::chrono::steady_clock;
using serial_port::ErrorKind;
using serial_port::IoResult;
using serial_port::PortError;

// Name and connection together; then the server's answer to the COM port option, and to each
// line set on it.
constexpr std::chrono::seconds kConnectLimit{5};
constexpr std::chrono::seconds kAnswerLimit{3};
// A write that finds no room for this long fails: the far end stopped reading.
constexpr std::chrono::seconds kWriteLimit{2};
constexpr std::size_t kChunk = 1024;

PortError Failure(ErrorKind kind, const posix::SystemError& why) {
    PortError error;
    error.kind = kind;
    error.code = why.code;
    error.text = why.text;
    error.detail = why.detail;
    return error;
}

PortError Gone(int code) {
    return Failure(ErrorKind::kDeviceGone,
                   code == 0 ? posix::SystemError::Because("the far end closed the connection")
                             : posix::SystemError::FromErrno(code));
}

class TcpWire : public Wire {
  public:
    explicit TcpWire(posix::UniqueFd fd) : m_fd(std::move(fd)) {}

    int WaitDescriptor() const override { return m_fd.Get(); }
    bool Lasting() const override { return true; }

    IoResult ReadAvailable(std::span<std::uint8_t> into) override { return Receive(into); }
    IoResult WriteAvailable(std::span<const std::uint8_t> bytes) override { return SendNow(bytes); }
    IoResult Write(std::span<const std::uint8_t> bytes) override { return SendAll(bytes); }
    PortError Restart(const scale::LineSettings&) override { return Drain(); }

  protected:
    IoResult SendNow(std::span<const std::uint8_t> bytes) {
        const ssize_t sent =
            ::send(m_fd.Get(), bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent >= 0)
            return {static_cast<std::size_t>(sent), {}, false};
        if (errno == EAGAIN || errno == EINTR)
            return {};
        return {0, Gone(errno), false};
    }
    IoResult SendAll(std::span<const std::uint8_t> bytes) {
        const Clock::time_point deadline = Clock::now() + kWriteLimit;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const IoResult sent = SendNow(bytes.subspan(done));
            if (sent.Failed())
                return {done, sent.error, false};
            done += sent.bytes;
            if (done < bytes.size() && !net::WaitUntil(m_fd.Get(), POLLOUT, deadline))
                return {done,
                        Failure(ErrorKind::kTimedOut, posix::SystemError::FromErrno(ETIMEDOUT)),
                        true};
        }
        return {done, {}, false};
    }
    IoResult Receive(std::span<std::uint8_t> into) {
        const ssize_t got = ::recv(m_fd.Get(), into.data(), into.size(), MSG_DONTWAIT);
        if (got > 0)
            return {static_cast<std::size_t>(got), {}, false};
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return {};
        return {0, Gone(got == 0 ? 0 : errno), false};
    }
    // Reads and drops what waits.
    PortError Drain() {
        std::vector<std::uint8_t> scratch(kChunk);
        for (;;) {
            const IoResult read = ReadAvailable(scratch);
            if (read.Failed() || read.bytes == 0)
                return read.error;
        }
    }

    posix::UniqueFd m_fd;
};

class Rfc2217Wire final : public TcpWire {
  public:
    using TcpWire::TcpWire;

    // Asks for the COM port option and waits for the server's word on it.
    PortError Begin() {
        if (const IoResult sent = SendAll(m_client.Start()); sent.Failed())
            return sent.error;
        if (const PortError error = PumpUntil(
                [this] { return m_client.ComPort() != net::ComPortClient::Agreement::kAsked; });
            error.Failed())
            return error;
        if (m_client.ComPort() == net::ComPortClient::Agreement::kYes)
            return {};
        return Failure(ErrorKind::kOther,
                       posix::SystemError::Because(
                           "the far end does not take the COM port option (RFC 2217)",
                           "for a port that carries the bytes as they are, use tcp://"));
    }

    IoResult ReadAvailable(std::span<std::uint8_t> into) override {
        std::array<std::uint8_t, kChunk> raw{};
        const IoResult read = Receive(std::span(raw).first(std::min(into.size(), raw.size())));
        if (read.Failed() || read.bytes == 0)
            return read;
        m_data.clear();
        m_reply.clear();
        m_client.Push(std::span(raw).first(read.bytes), &m_data, &m_reply);
        if (!m_reply.empty()) {
            if (const IoResult sent = SendAll(m_reply); sent.Failed())
                return {0, sent.error, false};
        }
        // Telnet's own bytes only shrink what came: the data fits where the raw bytes did.
        std::copy(m_data.begin(), m_data.end(), into.begin());
        return {m_data.size(), {}, false};
    }
    // Escaped, a command is written whole; what the caller handed counts as taken.
    IoResult WriteAvailable(std::span<const std::uint8_t> bytes) override { return Write(bytes); }
    IoResult Write(std::span<const std::uint8_t> bytes) override {
        const IoResult sent = SendAll(net::telnet::Escaped(bytes));
        return {sent.Failed() ? 0 : bytes.size(), sent.error, sent.failedWhileWaiting};
    }
    PortError Restart(const scale::LineSettings& line) override {
        const unsigned answers = m_client.BaudAnswers();
        const net::ComPortLine asked{static_cast<unsigned>(line.baud),
                                     static_cast<unsigned>(line.dataBits), line.parity,
                                     static_cast<unsigned>(line.stopBits)};
        if (const IoResult sent = SendAll(m_client.SetLine(asked)); sent.Failed())
            return sent.error;
        // A server that does not answer is read all the same, at whatever it set.
        const PortError error = PumpUntil([&] { return m_client.BaudAnswers() != answers; });
        return error.kind == ErrorKind::kTimedOut ? Drain() : error;
    }

  private:
    // Reads (dropping data, answering the server) until `done` or the answer limit.
    PortError PumpUntil(const std::function<bool()>& done) {
        const Clock::time_point deadline = Clock::now() + kAnswerLimit;
        std::array<std::uint8_t, kChunk> scratch{};
        while (!done()) {
            if (!net::WaitUntil(m_fd.Get(), POLLIN, deadline))
                return Failure(ErrorKind::kTimedOut,
                               posix::SystemError::Because(
                                   "no answer to the COM port option (RFC 2217) in time"));
            if (const IoResult read = ReadAvailable(scratch); read.Failed())
                return read.error;
        }
        return {};
    }

    net::ComPortClient m_client;
    std::vector<std::uint8_t> m_data;
    std::vector<std::uint8_t> m_reply;
};

}  // namespace

std::unique_ptr<Wire> OpenNetworkWire(const std::string& device, const scale::LineSettings& line,
                                      PortError* error) {
    const auto address = net::ParseWire(device);
    if (!address) {
        *error = Failure(ErrorKind::kInvalidArgument, address.Error());
        return nullptr;
    }
    auto fd = net::ConnectTcp(address->host, address->port, kConnectLimit);
    if (!fd) {
        *error = Failure(ErrorKind::kOther, fd.Error());
        return nullptr;
    }
    if (address->scheme == net::Scheme::kTcp) {
        auto wire = std::make_unique<TcpWire>(std::move(*fd));
        *error = {};
        return wire;
    }
    auto wire = std::make_unique<Rfc2217Wire>(std::move(*fd));
    if (*error = wire->Begin(); error->Failed())
        return nullptr;
    if (*error = wire->Restart(line); error->Failed())
        return nullptr;
    return wire;
}

NetworkDial::NetworkDial() : m_stop(posix::MakeWakeupFd()) {}

NetworkDial::~NetworkDial() {
    Stop();
}

void NetworkDial::Stop() {
    if (!m_thread.joinable())
        return;
    posix::SignalWakeupFd(m_stop.Get());
    m_thread.join();
    posix::ClearWakeupFd(m_stop.Get());
    m_dialling = false;
}

bool NetworkDial::Start(const std::string& device, const scale::LineSettings& line, Done done) {
    Stop();
    if (!m_stop)
        return false;
    const std::uint64_t dial = ++m_dials;
    // What the thread hands back is dropped when a later dial took its place.
    auto handBack = [this, dial, done = std::move(done)](std::shared_ptr<Wire> wire,
                                                         const serial_port::PortError& error) {
        if (dial != m_dials)
            return;
        m_thread.join();
        m_dialling = false;
        done(std::move(wire), error);
    };
    try {
        m_thread = std::thread([this, device, line, stop = m_stop.Get(), handBack] {
            const net::StopWaitsOn stopped(stop);
            serial_port::PortError error;
            std::shared_ptr<Wire> wire = OpenWire(device, line, &error);
            m_inbox.Post([handBack, wire, error] { handBack(wire, error); });
        });
    } catch (const std::system_error&) {
        return false;
    }
    m_dialling = true;
    return true;
}

}  // namespace scale_link
