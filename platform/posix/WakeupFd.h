#pragma once

// An eventfd used as a wake-up flag for poll and event loops: signalled by a write of 1, cleared
// by one read of the counter. Both retry on EINTR.

#include "platform/posix/UniqueFd.h"

namespace posix {

// A new non-blocking, close-on-exec eventfd at 0; empty with errno set when the system refuses.
UniqueFd MakeWakeupFd();
// Makes `fd` readable. The counter is never near its limit (each clearing reads it back to 0).
void SignalWakeupFd(int fd);
// Reads the counter back to 0; a counter at 0 is left as it is.
void ClearWakeupFd(int fd);

}  // namespace posix
