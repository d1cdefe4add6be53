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

// Waits for `events` (poll's) on `fd` until `deadline`; false when it passed first, or when
// this thread's stop (StopWaitsOn) came.
bool WaitUntil(int fd, short events, std::chrono::steady_clock::time_point deadline);

// While one lives, each wait on this thread (WaitUntil, and so a connect and what a wire waits
// for) ends as if its deadline had passed once `fd` is readable: a connect whoever asked for it
// gave up on ends at once, whatever opened it (a tap, say) in between.
class StopWaitsOn {
  public:
    explicit StopWaitsOn(int fd);
    ~StopWaitsOn();
    StopWaitsOn(const StopWaitsOn&) = delete;
    StopWaitsOn& operator=(const StopWaitsOn&) = delete;

  private:
    int m_previous;
};

}  // namespace net
