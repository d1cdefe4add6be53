#include "read/Output.h"

#include <unistd.h>

#include <cerrno>

namespace reader {

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
