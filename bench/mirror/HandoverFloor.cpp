#include "bench/mirror/HandoverFloor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <thread>

#include <QEventLoop>
#include <QMetaObject>

#include "platform/posix/UniqueFd.h"
#include "platform/window/Messages.h"

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

class Owner : public window::MessageOwner {
  public:
    window::LResult HandleMessage(window::MessageId, window::WParam, window::LParam) override {
        return 0;
    }
};

FloorCost PerTrip(const ThreadUse& use, long trips) {
    if (trips == 0)
        return {};
    return {use.cpuSeconds / static_cast<double>(trips),
            static_cast<double>(use.switches) / static_cast<double>(trips)};
}

// Runs `burst` at `rate` a second for `duration`, each counted on this thread's clocks without
// the sleep before it; returns what the bursts used.
ThreadUse PacedBursts(int rate, std::chrono::milliseconds duration,
                      const std::function<void()>& burst) {
    ThreadUse used;
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / rate;
    const auto end = Clock::now() + duration;
    for (auto next = Clock::now(); next < end; next += period) {
        std::this_thread::sleep_until(next);
        const ThreadUse before = ThreadUse::Now();
        burst();
        used += ThreadUse::Now() - before;
    }
    return used;
}

}  // namespace

FloorCost MeasureMailboxHandover(int rate, int tripsPerBurst, std::chrono::milliseconds duration) {
    if (rate <= 0 || tripsPerBurst <= 0)
        return {};
    Owner owner;
    QEventLoop loop;
    long trips = 0;
    ThreadUse workerUse;
    const ThreadUse start = ThreadUse::Now();
    std::thread worker([&] {
        workerUse = PacedBursts(rate, duration, [&] {
            // As the link hands over a read: each byte but the last tells of the next.
            for (int i = 0; i + 1 < tripsPerBurst; ++i)
                window::SendMessageBeforeMore(owner, window::kUserMessage, 0, 0);
            window::SendMessage(owner, window::kUserMessage, 0, 0);
            trips += tripsPerBurst;
        });
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    ThreadUse used = ThreadUse::Now() - start;
    worker.join();
    used += workerUse;
    return PerTrip(used, trips);
}

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
    long trips = 0;
    ThreadUse pacerUse = PacedBursts(rate, duration, [&] {
        for (int i = 0; i < tripsPerBurst; ++i) {
            Signal(ping);
            WaitReadable(pong);
        }
        trips += tripsPerBurst;
    });
    stop = true;
    Signal(ping);
    echo.join();
    pacerUse += echoUse;
    return PerTrip(pacerUse, trips);
}

}  // namespace mirror
