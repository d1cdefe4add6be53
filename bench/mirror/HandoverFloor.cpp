#include "bench/mirror/HandoverFloor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <thread>

#include "platform/posix/UniqueFd.h"

namespace mirror {

namespace {

using Clock = std::chrono::steady_clock;

struct ThreadUse {
    double cpuSeconds = 0;
    long switches = 0;

    static ThreadUse Now() {
        timespec ts{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        rusage usage{};
        ::getrusage(RUSAGE_THREAD, &usage);
        return {static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9,
                usage.ru_nvcsw + usage.ru_nivcsw};
    }
    ThreadUse operator-(const ThreadUse& before) const {
        return {cpuSeconds - before.cpuSeconds, switches - before.switches};
    }
    ThreadUse& operator+=(const ThreadUse& more) {
        cpuSeconds += more.cpuSeconds;
        switches += more.switches;
        return *this;
    }
};

void WaitReadable(int eventFd) {
    pollfd p{eventFd, POLLIN, 0};
    while (::poll(&p, 1, -1) < 0) {
    }
    std::uint64_t value = 0;
    (void)!::read(eventFd, &value, sizeof value);
}

void Signal(int eventFd) {
    const std::uint64_t one = 1;
    (void)!::write(eventFd, &one, sizeof one);
}

}  // namespace

FloorCost MeasureHandoverFloor(int rate, int tripsPerBurst, std::chrono::milliseconds duration) {
    const posix::UniqueFd pingFd(::eventfd(0, EFD_CLOEXEC));
    const posix::UniqueFd pongFd(::eventfd(0, EFD_CLOEXEC));
    if (!pingFd || !pongFd || rate <= 0 || tripsPerBurst <= 0)
        return {};
    const int ping = pingFd.Get();
    const int pong = pongFd.Get();
    std::atomic<bool> stop{false};
    ThreadUse echoUse;
    std::thread echo([&] {
        const ThreadUse start = ThreadUse::Now();
        for (;;) {
            WaitReadable(ping);
            if (stop.load())
                break;
            Signal(pong);
        }
        echoUse = ThreadUse::Now() - start;
    });
    ThreadUse pacerUse;
    long trips = 0;
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / rate;
    const auto end = Clock::now() + duration;
    for (auto next = Clock::now(); next < end; next += period) {
        std::this_thread::sleep_until(next);
        const ThreadUse before = ThreadUse::Now();
        for (int i = 0; i < tripsPerBurst; ++i) {
            Signal(ping);
            WaitReadable(pong);
        }
        pacerUse += ThreadUse::Now() - before;
        trips += tripsPerBurst;
    }
    stop = true;
    Signal(ping);
    echo.join();
    pacerUse += echoUse;
    if (trips == 0)
        return {};
    return {pacerUse.cpuSeconds / static_cast<double>(trips),
            static_cast<double>(pacerUse.switches) / static_cast<double>(trips)};
}

}  // namespace mirror
