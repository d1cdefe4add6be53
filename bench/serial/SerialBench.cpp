// Throughput, latency and idle cost of the serial engine's byte delivery, each beside the floor
// measured in the same run: a bare two-thread hand-over through eventfd and poll.
//
// A hand-over costs several times less while both threads share one core than while each has a
// core of its own, and an unpinned pair drifts between the two. So the floor and the engine are
// measured under the same placement, once with the two threads pinned to different cores and once
// with both pinned to one core, and each placement reports its own ratio.
//
// Usage: serial_bench [--seconds N] [--placement apart|one_core]
//   N: length of the idle measurement, default 5; --placement measures that placement only.

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/CommandLine.h"
#include "bench/support/Measures.h"
#include "platform/posix/UniqueFd.h"
#include "platform/serial/PortMap.h"
#include "platform/serial/PseudoTerminal.h"
#include "platform/window/Messages.h"
#include "serial/CSerialLink.h"

namespace {

using bench::Percentile;
using bench::ProcessCpuSeconds;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void Figure(const char* name, double value, const char* unit) {
    std::printf("figure: %s = %.1f %s\n", name, value, unit);
    std::fflush(stdout);
}

// Where the two threads of a hand-over run: on cores 0 and 1, or both on core 0. This thread
// always ends up on core 0; a thread inherits its creator's cores, so this thread moves to the
// other thread's core just before starting it (PinForStart) and back after (PinAfterStart).
enum class Placement { kApart, kOneCore };

const char* PlacementName(Placement placement) {
    return placement == Placement::kApart ? "apart" : "one_core";
}

bool PinThisThread(int core) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(core, &set);
    return ::sched_setaffinity(0, sizeof set, &set) == 0;
}

void PinForStart(Placement placement) {
    PinThisThread(placement == Placement::kApart ? 1 : 0);
}

void PinAfterStart() {
    PinThisThread(0);
}

bool WaitReadable(int eventFd) {
    pollfd p{eventFd, POLLIN, 0};
    while (::poll(&p, 1, -1) < 0) {
    }
    std::uint64_t v = 0;
    return ::read(eventFd, &v, sizeof v) == sizeof v;
}

bool Signal(int eventFd) {
    const std::uint64_t one = 1;
    return ::write(eventFd, &one, sizeof one) == sizeof one;
}

// Round trips per second between two threads that sleep in poll on an eventfd each.
double HandoverFloor(std::chrono::milliseconds duration, Placement placement) {
    const posix::UniqueFd pingFd(::eventfd(0, EFD_CLOEXEC));
    const posix::UniqueFd pongFd(::eventfd(0, EFD_CLOEXEC));
    const int ping = pingFd.Get();
    const int pong = pongFd.Get();
    std::atomic<bool> stop{false};
    PinForStart(placement);
    std::thread echo([&] {
        while (WaitReadable(ping) && !stop.load())
            Signal(pong);
        Signal(pong);
    });
    PinAfterStart();
    long trips = 0;
    const auto start = Clock::now();
    const auto end = start + duration;
    while (Clock::now() < end) {
        Signal(ping);
        WaitReadable(pong);
        ++trips;
    }
    const double elapsed = Seconds(Clock::now() - start);
    stop = true;
    Signal(ping);
    echo.join();
    return static_cast<double>(trips) / elapsed;
}

// The peer keeping the line full: 256-byte writes until stopped. Its last write completes only
// once the reader has made room for it, so the reader keeps reading until Done.
class Flood {
  public:
    Flood(serial_port::PseudoTerminal& peer, std::function<void()> onDone)
        : m_thread([this, &peer, onDone = std::move(onDone)] {
              const std::vector<std::uint8_t> chunk(256, 0x5A);
              while (!m_stop.load() && peer.Write(chunk)) {
              }
              m_done = true;
              if (onDone)
                  onDone();
          }) {}
    ~Flood() {
        m_stop = true;
        m_thread.join();
    }
    Flood(const Flood&) = delete;
    Flood& operator=(const Flood&) = delete;

    void Stop() { m_stop = true; }
    bool Done() const { return m_done.load(); }

  private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::thread m_thread;  // last, so that it starts after the flags exist
};

// The least per-byte work of the engine's design: the bare hand-over above plus one one-byte read
// of the same flooded line before each trip. What the engine costs beyond this is its own; what
// this costs beyond the bare hand-over is the line's (a flooded pseudo-terminal wakes a kernel
// worker for many reads).
double LineFloor(serial_port::PseudoTerminal& peer, std::chrono::milliseconds duration,
                 Placement placement) {
    const posix::UniqueFd lineFd(::open(peer.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!lineFd)
        return 0;
    const int line = lineFd.Get();
    ::tcflush(line, TCIFLUSH);
    const posix::UniqueFd pingFd(::eventfd(0, EFD_CLOEXEC));
    const posix::UniqueFd pongFd(::eventfd(0, EFD_CLOEXEC));
    const int ping = pingFd.Get();
    const int pong = pongFd.Get();
    std::atomic<bool> stop{false};
    PinAfterStart();
    long trips = 0;
    double elapsed = 0;
    {
        Flood flood(peer, nullptr);
        PinForStart(placement);
        std::thread reader([&] {
            std::uint8_t byte = 0;
            while (!stop.load() && ::read(line, &byte, 1) == 1) {
                Signal(pong);
                WaitReadable(ping);
            }
            std::vector<std::uint8_t> rest(4096);
            while (!flood.Done()) {
                pollfd p{line, POLLIN, 0};
                if (::poll(&p, 1, 10) > 0 && ::read(line, rest.data(), rest.size()) <= 0)
                    break;
            }
        });
        PinAfterStart();
        const auto start = Clock::now();
        const auto end = start + duration;
        while (Clock::now() < end) {
            WaitReadable(pong);
            ++trips;
            Signal(ping);
        }
        elapsed = Seconds(Clock::now() - start);
        stop = true;
        flood.Stop();
        Signal(ping);
        reader.join();
    }
    return static_cast<double>(trips) / elapsed;
}

// Round trips per second of a worker thread that runs `trip` (a blocking hand-over into this
// thread) for `duration` while this thread runs its event loop.
double WorkerTrips(std::chrono::milliseconds duration, Placement placement,
                   const std::function<void()>& trip) {
    QEventLoop loop;
    long trips = 0;
    double elapsed = 0;
    PinForStart(placement);
    std::thread worker([&] {
        const auto start = Clock::now();
        const auto end = start + duration;
        for (; Clock::now() < end; ++trips)
            trip();
        elapsed = Seconds(Clock::now() - start);
        QMetaObject::invokeMethod(
            &loop, [&] { loop.quit(); }, Qt::QueuedConnection);
    });
    PinAfterStart();
    loop.exec();
    worker.join();
    return static_cast<double>(trips) / elapsed;
}

// Qt's own blocking hand-over to an event loop: BlockingQueuedConnection.
double QtBlockingFloor(std::chrono::milliseconds duration, Placement placement) {
    QObject target;
    return WorkerTrips(duration, placement, [&] {
        QMetaObject::invokeMethod(
            &target, [] {}, Qt::BlockingQueuedConnection);
    });
}

class Owner : public window::MessageOwner {
  public:
    window::LResult HandleMessage(window::MessageId id, window::WParam, window::LParam) override {
        if (id == PN_BYTE) {
            ++received;
            if (onByte)
                onByte();
        }
        return 0;
    }
    std::uint64_t received = 0;
    std::function<void()> onByte;
};

// window::SendMessage alone (no port) into an owner running its event loop: the engine's
// hand-over without the line.
double MailboxHandover(std::chrono::milliseconds duration, Placement placement) {
    Owner owner;
    return WorkerTrips(duration, placement, [&] { window::SendMessage(owner, PN_BYTE, 0, 0); });
}

struct Rig {
    serial_port::PseudoTerminal peer;
    std::filesystem::path dir;
    std::shared_ptr<serial_port::PortMap> ports = std::make_shared<serial_port::PortMap>(dir);
};

Rig MakeRig() {
    char pattern[] = "/tmp/karvel-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    std::string error;
    auto pty = serial_port::PseudoTerminal::Create(&error);
    if (!pty) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    Rig rig{std::move(*pty), pattern};
    std::filesystem::create_symlink(rig.peer.DevicePath(), rig.dir / "COM1");
    return rig;
}

bool OpenAndWatch(CSerialLink& link, Owner& owner, Rig& rig, Placement placement) {
    link.SetPortResolver(
        [ports = rig.ports](std::string_view name) { return ports->ResolveName(name); });
    if (link.Open(&owner, 1, 9600, 'N', 8, 1, 3, 512) != 1)
        return false;
    PinForStart(placement);
    const int started = link.StartWatch();
    PinAfterStart();
    if (started != 1)
        return false;
    // The thread purges when it starts; a served send shows that it has.
    const std::uint8_t mark = 0;
    link.SendBytes(&mark, 1);
    return rig.peer.ReadExactly(1, std::chrono::seconds(10)).size() == 1;
}

// Bytes per second from the peer to the owner's handler over `duration`, the peer keeping the line
// full and the owner running its event loop (or, with `pumping`, waiting in WaitWhilePumping as
// Close does). Timed rather than counted, so that a slow placement cannot stretch a round.
double EngineThroughput(Rig& rig, std::chrono::milliseconds duration, Placement placement,
                        bool pumping = false) {
    Owner owner;
    CSerialLink link;
    if (!OpenAndWatch(link, owner, rig, placement))
        return 0;
    Flood flood(rig.peer, [&] { window::Wake(owner); });
    const auto start = Clock::now();
    if (pumping)
        window::WaitWhilePumping(
            owner, [] { return false; }, duration);
    else
        window::PumpThreadFor(duration);
    const std::uint64_t received = owner.received;
    const double elapsed = Seconds(Clock::now() - start);
    flood.Stop();
    window::WaitWhilePumping(owner, [&] { return flood.Done(); });
    link.Close();
    return static_cast<double>(received) / elapsed;
}

// Microseconds from the peer's write of one byte to the start of its handler, per byte; at most
// `samples` bytes and at most `duration`.
std::vector<double> EngineLatencies(Rig& rig, int samples, std::chrono::milliseconds duration,
                                    Placement placement) {
    Owner owner;
    CSerialLink link;
    std::vector<double> latencies;
    if (!OpenAndWatch(link, owner, rig, placement))
        return latencies;
    std::mutex lock;
    std::condition_variable handled;
    Clock::time_point written;
    std::uint64_t seen = 0;
    owner.onByte = [&] {
        const auto now = Clock::now();
        std::lock_guard<std::mutex> hold(lock);
        latencies.push_back(std::chrono::duration<double, std::micro>(now - written).count());
        ++seen;
        handled.notify_one();
    };
    QEventLoop loop;
    std::thread writer([&] {
        const std::uint8_t byte = 0x33;
        const auto end = Clock::now() + duration;
        for (int i = 0; i < samples && Clock::now() < end; ++i) {
            std::unique_lock<std::mutex> hold(lock);
            written = Clock::now();
            hold.unlock();
            rig.peer.Write({&byte, 1});
            hold.lock();
            handled.wait(hold, [&] { return seen == static_cast<std::uint64_t>(i + 1); });
        }
        QMetaObject::invokeMethod(
            &loop, [&] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    writer.join();
    link.Close();
    return latencies;
}

// Share of one core the whole process uses while a port is watched and nothing arrives.
double IdleCpuPercent(Rig& rig, std::chrono::seconds duration) {
    Owner owner;
    CSerialLink link;
    if (!OpenAndWatch(link, owner, rig, Placement::kApart))
        return -1;
    const double cpuBefore = ProcessCpuSeconds();
    const auto start = Clock::now();
    window::PumpThreadFor(duration);
    const double wall = Seconds(Clock::now() - start);
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    link.Close();
    return 100.0 * cpu / wall;
}

}  // namespace

int main(int argc, char** argv) {
    int idleSeconds = 5;
    std::vector<Placement> placements = {Placement::kApart, Placement::kOneCore};
    cli::OptionTable table(cli::kEvery);
    table.Add({.name = "--seconds",
               .value = "S",
               .help = "how long the idle port is watched (default 5)",
               .apply = bench::Whole("--seconds", 1, 3600, idleSeconds)});
    table.Add({.name = "--placement",
               .value = "apart|one_core",
               .help = "measure one thread placement only",
               .apply = [&placements](std::optional<std::string_view> value) {
                   for (const Placement placement : {Placement::kApart, Placement::kOneCore}) {
                       if (*value == PlacementName(placement)) {
                           placements = {placement};
                           return posix::Success();
                       }
                   }
                   return cli::Refuse("--placement is apart or one_core");
               }});
    if (const auto code = bench::ReadCommandLine(
            table, "Bytes a second from a pseudo-terminal to the owner's handler.", argc, argv))
        return *code;
    QCoreApplication app(argc, argv);
    Rig rig = MakeRig();

    // Each round measures the floor and the engine back to back, so that each ratio compares
    // them under the same load; the figures are medians over the rounds.
    constexpr int kRounds = 7;
    constexpr auto kRound = std::chrono::milliseconds(1000);
    const cpu_set_t initial = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        ::sched_getaffinity(0, sizeof set, &set);
        return set;
    }();
    if (CPU_COUNT(&initial) < 2 || !CPU_ISSET(0, &initial) || !CPU_ISSET(1, &initial)) {
        std::fprintf(stderr, "serial_bench: needs cores 0 and 1\n");
        return 1;
    }
    for (const Placement placement : placements) {
        std::vector<double> floors, lineFloors, engines, pumpeds, qtFloors, mailboxes, ratios,
            lineRatios, pumpedRatios;
        for (int round = 0; round < kRounds; ++round) {
            const double floor = HandoverFloor(kRound, placement);
            const double lineFloor = LineFloor(rig.peer, kRound, placement);
            const double engine = EngineThroughput(rig, kRound, placement);
            const double pumped = EngineThroughput(rig, kRound, placement, true);
            floors.push_back(floor);
            lineFloors.push_back(lineFloor);
            engines.push_back(engine);
            lineRatios.push_back(100.0 * engine / lineFloor);
            pumpeds.push_back(pumped);
            ratios.push_back(100.0 * engine / floor);
            pumpedRatios.push_back(100.0 * pumped / floor);
            qtFloors.push_back(QtBlockingFloor(std::chrono::milliseconds(500), placement));
            mailboxes.push_back(MailboxHandover(std::chrono::milliseconds(500), placement));
        }
        const std::string at = std::string("_") + PlacementName(placement);
        auto name = [&](const char* base) { return base + at; };
        Figure(name("floor_handover_per_s").c_str(), Percentile(floors, 0.5), "1/s");
        Figure(name("engine_bytes_per_s").c_str(), Percentile(engines, 0.5), "1/s");
        Figure(name("engine_vs_floor").c_str(), Percentile(ratios, 0.5), "%");
        Figure(name("engine_vs_floor_lowest_round").c_str(), Percentile(ratios, 0), "%");
        Figure(name("engine_vs_floor_highest_round").c_str(), Percentile(ratios, 1), "%");
        Figure(name("line_floor_per_s").c_str(), Percentile(lineFloors, 0.5), "1/s");
        Figure(name("engine_vs_line_floor").c_str(), Percentile(lineRatios, 0.5), "%");
        Figure(name("engine_vs_line_floor_lowest_round").c_str(), Percentile(lineRatios, 0), "%");
        Figure(name("engine_vs_line_floor_highest_round").c_str(), Percentile(lineRatios, 1), "%");
        // The same delivery while the owner waits in WaitWhilePumping (as Close does), and Qt's
        // own blocking hand-over into an event loop, for comparison.
        Figure(name("engine_pumped_bytes_per_s").c_str(), Percentile(pumpeds, 0.5), "1/s");
        Figure(name("engine_pumped_vs_floor").c_str(), Percentile(pumpedRatios, 0.5), "%");
        Figure(name("floor_qt_blocking_per_s").c_str(), Percentile(qtFloors, 0.5), "1/s");
        Figure(name("mailbox_handover_per_s").c_str(), Percentile(mailboxes, 0.5), "1/s");

        const std::vector<double> latencies =
            EngineLatencies(rig, 5000, std::chrono::seconds(5), placement);
        Figure(name("latency_median_us").c_str(), Percentile(latencies, 0.5), "us");
        Figure(name("latency_p99_us").c_str(), Percentile(latencies, 0.99), "us");
        // The floor's one-way hand-over, for comparison: half a round trip.
        Figure(name("floor_handover_oneway_us").c_str(), 1e6 / Percentile(floors, 0.5) / 2, "us");
    }
    ::sched_setaffinity(0, sizeof initial, &initial);

    Figure("idle_cpu_percent", IdleCpuPercent(rig, std::chrono::seconds(idleSeconds)), "%");

    std::filesystem::remove_all(rig.dir);
    return 0;
}
