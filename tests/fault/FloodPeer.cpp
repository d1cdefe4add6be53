#include "tests/fault/FloodPeer.h"

#include "platform/posix/WakeupFd.h"
#include "tests/support/PtyPeer.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <vector>

namespace faulttest {

FloodPeer::FloodPeer(std::size_t total, std::uint32_t seed)
    : m_pty(testing_support::MakePty()),
      m_total(total),
      m_seed(seed),
      m_stop(posix::MakeWakeupFd()) {}

FloodPeer::~FloodPeer() {
    if (m_thread.joinable()) {
        posix::SignalWakeupFd(m_stop.Get());
        m_thread.join();
    }
}

void FloodPeer::Start() {
    if (!m_thread.joinable())
        m_thread = std::thread([this] { Run(m_seed); });
}

void FloodPeer::Run(std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> chunk(4096);
    std::size_t left = 0;  // bytes of `chunk` not yet written, at its end
    while (m_written.load() < m_total) {
        if (left == 0) {
            left = std::min(chunk.size(), m_total - m_written.load());
            std::generate_n(chunk.end() - static_cast<std::ptrdiff_t>(left), left,
                            [&] { return static_cast<std::uint8_t>(random()); });
        }
        // The master side is non-blocking: wait until the line takes more, or until told to
        // stop.
        pollfd fds[2] = {{m_stop.Get(), POLLIN, 0}, {m_pty.Descriptor(), POLLOUT, 0}};
        const int r = ::poll(fds, 2, -1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (fds[0].revents & POLLIN) || (fds[1].revents & (POLLERR | POLLNVAL)))
            return;
        if ((fds[1].revents & POLLOUT) == 0)
            continue;
        const ssize_t n = ::write(m_pty.Descriptor(), chunk.data() + (chunk.size() - left), left);
        if (n > 0) {
            left -= static_cast<std::size_t>(n);
            m_written += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        }
    }
}

}  // namespace faulttest
