#pragma once

// A scale on the network, as the user names it where a port goes: tcp://HOST:PORT (the raw
// bytes of a device server or an indicator's own socket) or rfc2217://HOST:PORT (telnet with
// the COM port option, so the far port's line can be set). HOST is a name, an IPv4 address or
// an IPv6 address in brackets. Plain C++; any thread.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/posix/Result.h"

namespace net {

enum class Scheme { kTcp, kRfc2217 };

struct WireAddress {
    Scheme scheme = Scheme::kTcp;
    std::string host;  // without brackets
    std::uint16_t port = 0;

    bool operator==(const WireAddress&) const = default;
};

// Whether `text` is written as a network wire at all ("scheme://..."), right or wrong: anything
// else names a local port.
bool NamesWire(std::string_view text);
// The wire `text` names, or what is wrong with it (an unknown scheme, no port, a path).
posix::Result<WireAddress> ParseWire(std::string_view text);
// "tcp://HOST:PORT" as the user wrote it, brackets put back around an IPv6 address.
std::string WireText(const WireAddress& address);

}  // namespace net
