// Hot-plug storm figures: CPU time of the whole process per wall time while device events come
// at 10 and 100 a second, and the longest the UI thread was kept from a 10 ms timer meanwhile.
//   hotplug_cpu_percent_at_10_per_s, hotplug_cpu_percent_at_100_per_s
//                      the port watcher as the panel and --list-ports --follow run it
//                      (target at 100 a second: below 10 %)
//   hotplug_ui_stall_max_ms_at_100_per_s
//   peer_one_look_per_event_cpu_percent_at_10_per_s / _at_100_per_s
//                      the peer: every wake-up enumerates the devices on the UI thread
//   floor_idle_cpu_percent
//                      the same process with the watcher and no events
// The events are forged by a synthetic event source behind the watcher's event interface (the
// udev monitor's own interface), not by udev; the enumeration is the machine's real one.
// Usage: hotplug_bench [--seconds N]

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "app/PortDescription.h"
#include "bench/support/CommandLine.h"
#include "link/PortWatcher.h"
#include "platform/posix/WakeupFd.h"

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Device events at a steady rate from a thread of its own, as udev delivers them: a readable
// descriptor and the events behind it.
class ForgedEvents {
  public:
    ForgedEvents() : m_ready(posix::MakeWakeupFd()) {}
    ~ForgedEvents() { Stop(); }

    void Start(int perSecond) {
        Stop();
        m_run = true;
        m_feeder = std::thread([this, perSecond] {
            const auto period = std::chrono::microseconds(1'000'000 / perSecond);
            auto next = Clock::now();
            while (m_run) {
                next += period;
                std::this_thread::sleep_until(next);
                {
                    std::lock_guard<std::mutex> hold(m_lock);
                    m_events.push_back({serial_port::DeviceEvent::Action::kChanged, "/dev/ttyS0"});
                }
                posix::SignalWakeupFd(m_ready.Get());
            }
        });
    }
    void Stop() {
        m_run = false;
        if (m_feeder.joinable())
            m_feeder.join();
    }

    std::unique_ptr<serial_port::DeviceEventSource> Source() {
        class Source final : public serial_port::DeviceEventSource {
          public:
            explicit Source(ForgedEvents& owner) : m_owner(owner) {}
            int Descriptor() const override { return m_owner.m_ready.Get(); }
            std::vector<serial_port::DeviceEvent> TakeEvents() override {
                std::lock_guard<std::mutex> hold(m_owner.m_lock);
                posix::ClearWakeupFd(m_owner.m_ready.Get());
                return std::exchange(m_owner.m_events, {});
            }

          private:
            ForgedEvents& m_owner;
        };
        return std::make_unique<Source>(*this);
    }

  private:
    posix::UniqueFd m_ready;
    std::mutex m_lock;
    std::vector<serial_port::DeviceEvent> m_events;
    std::atomic<bool> m_run{false};
    std::thread m_feeder;
};

struct Run {
    double cpuPercent = 0;
    double stallMs = 0;
};

// Runs the event loop for `seconds` with events at `perSecond` (none at 0), measuring CPU and
// how late a 10 ms timer on the UI thread came at worst.
Run Measure(ForgedEvents& events, int perSecond, double seconds) {
    if (perSecond > 0)
        events.Start(perSecond);
    QTimer tick;
    Clock::time_point last = Clock::now();
    double worst = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        worst = std::max(worst, std::chrono::duration<double, std::milli>(now - last).count() - 10);
        last = now;
    });
    tick.start(10);
    const double cpu0 = ProcessCpuSeconds();
    const Clock::time_point start = Clock::now();
    QTimer::singleShot(std::chrono::milliseconds(static_cast<int>(seconds * 1000)),
                       [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpu0;
    events.Stop();
    return {100.0 * cpu / wall, worst};
}

}  // namespace

int main(int argc, char** argv) {
    int wholeSeconds = 5;
    cli::OptionTable table(cli::kEvery);
    table.Add({.name = "--seconds",
               .value = "S",
               .help = "how long each rate is measured (default 5)",
               .apply = bench::Whole("--seconds", 1, 3600, wholeSeconds)});
    if (const auto code = bench::ReadCommandLine(
            table, "CPU of the port watcher under forged device events.", argc, argv))
        return *code;
    QCoreApplication app(argc, argv);
    const double seconds = wholeSeconds;
    const int rates[] = {10, 100};

    {
        ForgedEvents events;
        serial_port::PortMap ports;
        scale_link::PortWatcher watcher(
            ports, {[&] { return events.Source(); }, serial_port::FindSerialDevices});
        watcher.Start();
        // What --list-ports --follow does with every change.
        QObject::connect(&watcher, &scale_link::PortWatcher::portsChanged,
                         [&] { ListPorts(ports); });
        std::printf("figure: floor_idle_cpu_percent = %.2f %%\n",
                    Measure(events, 0, seconds).cpuPercent);
        for (const int rate : rates) {
            const Run run = Measure(events, rate, seconds);
            std::printf("figure: hotplug_cpu_percent_at_%d_per_s = %.2f %%\n", rate,
                        run.cpuPercent);
            std::printf("figure: hotplug_ui_stall_max_ms_at_%d_per_s = %.1f ms\n", rate,
                        run.stallMs);
        }
    }

    // The peer: every wake-up looks at the devices on the UI thread, then lists them.
    ForgedEvents events;
    serial_port::PortMap ports;
    ports.FollowDevices();
    const std::unique_ptr<serial_port::DeviceEventSource> source = events.Source();
    QSocketNotifier notifier(source->Descriptor(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        if (source->TakeEvents().empty())
            return;
        ports.RefreshDevices();
        ListPorts(ports);
    });
    for (const int rate : rates) {
        const Run run = Measure(events, rate, seconds);
        std::printf("figure: peer_one_look_per_event_cpu_percent_at_%d_per_s = %.2f %%\n", rate,
                    run.cpuPercent);
        std::printf("figure: peer_one_look_per_event_ui_stall_max_ms_at_%d_per_s = %.1f ms\n", rate,
                    run.stallMs);
    }
    return 0;
}
