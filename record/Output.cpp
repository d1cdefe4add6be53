#include "record/Output.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace record {

Output::Output(int fd, Say say) : m_fd(fd), m_say(std::move(say)) {
    struct stat st {};
    m_mayBlock = ::fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

bool Output::Writable() const {
    // A pipe that polls writable has room for a whole page, more than any line needs.
    pollfd ready{m_fd, POLLOUT, 0};
    int n = 0;
    do {
        n = ::poll(&ready, 1, 0);
    } while (n < 0 && errno == EINTR);
    // An error or a hang-up is for write() to find.
    return n != 0;
}

bool Output::HoldsData() const {
    struct stat info {};
    return ::fstat(m_fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

bool Output::Write(std::string_view text) {
    if (m_closed)
        return false;
    if (m_mayBlock && !Writable()) {
        if (m_dropped++ == 0 && m_say)
            m_say("standard output is not being read: dropping lines until it is");
        return true;
    }
    TellDropped();
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

void Output::TellDropped() {
    if (m_dropped == 0)
        return;
    if (m_say)
        m_say(std::to_string(m_dropped) + (m_dropped == 1 ? " line was" : " lines were") +
              " dropped while standard output was not being read");
    m_dropped = 0;
}

}  // namespace record
