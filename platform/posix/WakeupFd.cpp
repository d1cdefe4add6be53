#include "platform/posix/WakeupFd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace posix {

UniqueFd MakeWakeupFd() {
    return UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
}

void SignalWakeupFd(int fd) {
    const std::uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void ClearWakeupFd(int fd) {
    std::uint64_t count = 0;
    while (::read(fd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

}  // namespace posix
