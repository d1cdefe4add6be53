#pragma once

// A TCP connection to a host by name or address, made within a bound: the name is resolved on
// a thread of its own (the system's resolver cannot be told to give up) and each address is
// tried with a non-blocking connect, all before one deadline. The socket is left non-blocking,
// without Nagle's delay, with keep-alive probes that find a far end gone silent.
//
// Thread: any; it holds the caller's thread for `limit` at most.

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/posix/Result.h"
#include "platform/posix/UniqueFd.h"

namespace net {

posix::Result<posix::UniqueFd> ConnectTcp(const std::string& host, std::uint16_t port,
                                          std::chrono::milliseconds limit);

// Waits for `events` (poll's) on `fd` until `deadline`; false when it passed first.
bool WaitUntil(int fd, short events, std::chrono::steady_clock::time_point deadline);

}  // namespace net
