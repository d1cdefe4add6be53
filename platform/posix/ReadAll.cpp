#include "platform/posix/ReadAll.h"

#include <unistd.h>

#include <cerrno>

namespace posix {

Result<std::string> ReadAll(int fd, std::size_t limit) {
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return SystemError::FromErrno(errno);
        }
        if (n == 0)
            return text;
        if (text.size() + static_cast<std::size_t>(n) > limit)
            return SystemError::FromErrno(EFBIG);
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace posix
