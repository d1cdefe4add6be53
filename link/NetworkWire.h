#pragma once

// A scale on the network as a Wire: tcp:// carries the scale's bytes as they are; rfc2217://
// is telnet with the COM port option, which sets the far port's line to the settings asked for
// (and again at each speed that detection tries, on the same connection) and escapes 0xFF both
// ways. Resolving, connecting and the server's first answers are each bounded in time; a
// connection the far end closes or resets reads as kDeviceGone, a lost port.
//
// Thread: the thread that opened it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "link/Wire.h"
#include "platform/posix/UniqueFd.h"
#include "platform/window/Inbox.h"

namespace scale_link {

// `device` as net::ParseWire reads it; null with the reason in `error` (kind kOther: no advice
// about local devices fits).
std::unique_ptr<Wire> OpenNetworkWire(const std::string& device, const scale::LineSettings& line,
                                      serial_port::PortError* error);

// A network wire opened (OpenWire) on a thread of its own, so that the thread that asks for it
// keeps its event loop while the name, the connection and the server's first answers come, and
// handed back there. One at a time.
//
// Thread: the thread that made it, with a Qt event loop; `done` is called there.
class NetworkDial {
  public:
    // The wire, or null and why.
    using Done = std::function<void(std::shared_ptr<Wire>, const serial_port::PortError&)>;

    NetworkDial();
    // Gives up the dial under way, at once, and waits for its thread.
    ~NetworkDial();
    NetworkDial(const NetworkDial&) = delete;
    NetworkDial& operator=(const NetworkDial&) = delete;

    // Opens `device` at `line`; `done` follows from the event loop, unless this goes first.
    // False when no thread could be had for it.
    bool Start(const std::string& device, const scale::LineSettings& line, Done done);
    bool Dialling() const { return m_dialling; }

  private:
    void Stop();

    window::Inbox m_inbox;  // what the outcome is handed back through; outlives the thread
    posix::UniqueFd m_stop;
    std::thread m_thread;
    std::uint64_t m_dials = 0;
    bool m_dialling = false;
};

}  // namespace scale_link
