#pragma once

// A scale on the network as a Wire: tcp:// carries the scale's bytes as they are; rfc2217://
// is telnet with the COM port option, which sets the far port's line to the settings asked for
// (and again at each speed that detection tries, on the same connection) and escapes 0xFF both
// ways. Resolving, connecting and the server's first answers are each bounded in time; a
// connection the far end closes or resets reads as kDeviceGone, a lost port.
//
// Thread: the thread that opened it.

#include <memory>
#include <string>

#include "link/Wire.h"

namespace scale_link {

// `device` as net::ParseWire reads it; null with the reason in `error` (kind kOther: no advice
// about local devices fits).
std::unique_ptr<Wire> OpenNetworkWire(const std::string& device, const scale::LineSettings& line,
                                      serial_port::PortError* error);

}  // namespace scale_link
