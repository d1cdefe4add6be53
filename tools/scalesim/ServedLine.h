#pragma once

// The scale's end of one serial line: the controlling side of a pseudo-terminal whose device
// side a port opens, with an optional COMn link to it; or (Listen) a TCP port of loopback whose
// one client at a time is the line, as an indicator with a network port has.
//
// Unlike a test peer, it does not hold the device side open itself, so that the controlling
// descriptor reports a hang-up whenever no port holds the line; nothing is written then, and
// the line is re-checked with Recheck() instead of being polled.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/posix/UniqueFd.h"
#include "platform/serial/PseudoTerminal.h"
#include "tools/scalesim/PortLink.h"
#include "tools/scalesim/ScaleFrames.h"

namespace scalesim {

class ServedLine {
  public:
    // `portDir` empty: no link.
    static std::optional<ServedLine> Open(int comPort, const std::string& portDir,
                                          std::string* error);
    // 127.0.0.1:`port`, listening.
    static std::optional<ServedLine> Listen(int comPort, std::uint16_t port, std::string* error);

    ServedLine(ServedLine&& other) noexcept;
    ServedLine& operator=(ServedLine&& other) noexcept;
    ServedLine(const ServedLine&) = delete;
    ServedLine& operator=(const ServedLine&) = delete;
    ~ServedLine();

    int ComPort() const { return m_comPort; }
    // The device path, or tcp://127.0.0.1:PORT.
    const std::string& DevicePath() const { return m_pty ? m_pty->DevicePath() : m_address; }
    // For poll() while Connected(); a hung-up line must not be polled, it stays ready.
    int Descriptor() const { return m_pty ? m_pty->Descriptor() : m_client.Get(); }
    // A TCP port: it has no speed.
    bool Socket() const { return !m_pty; }
    bool Connected() const { return m_connected; }
    bool HasOutput() const { return !m_out.empty(); }

    // The speed the port holding the line set, as the pseudo-terminal shows it; none when unknown.
    std::optional<unsigned> Baud() const;
    // Looks, without waiting, whether a port holds the device side now (a client connected).
    void Recheck();
    // Takes what arrived, after poll() reported `revents`; notices a hang-up.
    std::vector<std::uint8_t> Receive(short revents);
    // Queues a frame unless the previous one has not left yet (a reader that lags behind
    // skips frames instead of piling them up). False when it was not queued.
    bool QueueFrame(const Frame& frame);
    // Queues a short answer behind whatever is queued.
    void QueueAnswer(std::span<const std::uint8_t> bytes);
    // Writes as much as the line takes now. Returns how many frames left completely.
    int Flush();

  private:
    ServedLine(int comPort, std::optional<serial_port::PseudoTerminal> pty,
               std::optional<PortLink> link);
    void Disconnect();

    int m_comPort = 0;
    std::optional<serial_port::PseudoTerminal> m_pty;  // none: a TCP port
    posix::UniqueFd m_listen;
    posix::UniqueFd m_client;
    std::string m_address;
    std::optional<PortLink> m_link;
    bool m_connected = false;
    std::vector<std::uint8_t> m_out;
    std::size_t m_frameEnd = 0;  // bytes of m_out up to the end of the frame in flight; 0: none
};

}  // namespace scalesim
