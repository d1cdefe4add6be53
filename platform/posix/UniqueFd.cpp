#include "platform/posix/UniqueFd.h"

#include <unistd.h>

#include <cerrno>

namespace posix {

int UniqueFd::Reset() {
    const int fd = std::exchange(m_fd, -1);
    if (fd < 0)
        return 0;
    // Linux releases the descriptor even when close fails; never retry.
    return close(fd) == 0 || errno == EINTR ? 0 : errno;
}

}  // namespace posix
