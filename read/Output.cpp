#include "read/Output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace reader {

bool Output::HoldsData() const {
    struct stat info {};
    return ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

bool Output::Write(std::string_view text) {
    while (!m_closed && !text.empty()) {
        const ssize_t n = ::write(m_fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_closed = true;
            break;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return !m_closed;
}

}  // namespace reader
