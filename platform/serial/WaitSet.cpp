#include "platform/serial/WaitSet.h"

#include <poll.h>

#include <cerrno>
#include <vector>

namespace serial_port {

WaitResult WaitForAny(std::span<const Waitable* const> items, std::chrono::milliseconds timeout) {
    // Small fixed sets are the rule; keep them off the heap.
    constexpr std::size_t kInline = 8;
    pollfd inlineFds[kInline];
    std::vector<pollfd> heapFds;
    pollfd* fds = inlineFds;
    if (items.size() > kInline) {
        heapFds.resize(items.size());
        fds = heapFds.data();
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Waitable* item = items[i];
        const int fd = item ? item->WaitDescriptor() : -1;
        // A negative descriptor is ignored by poll, which keeps positions aligned.
        fds[i] = pollfd{fd, static_cast<short>(item && item->WaitsForInput() ? POLLIN : 0), 0};
    }

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    WaitResult result;
    for (;;) {
        int waitMs = -1;
        if (timeout.count() >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            waitMs = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        }
        const int n = ::poll(fds, items.size(), waitMs);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            result.status = WaitResult::Status::kFailed;
            result.error = PortError::FromErrno(errno);
            return result;
        }
        if (n == 0) {
            result.status = WaitResult::Status::kTimedOut;
            return result;
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (fds[i].revents == 0)
                continue;
            result.status = WaitResult::Status::kSignalled;
            result.index = i;
            result.hungUp = (fds[i].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
            return result;
        }
    }
}

}  // namespace serial_port
