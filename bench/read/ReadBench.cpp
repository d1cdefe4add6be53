// read_bench: karvel-read measured against peers in the same run.
//   read_bench cpu [--seconds S]      karvel-read and a plain QSerialPort reader printing the same
//                                     JSON lines, both fed the same simulated frames at the same
//                                     moments, at 80 and at 10 frames/s: CPU per wall time and
//                                     their ratio (medians of 5 rounds)
//   read_bench latency [--seconds S]  from a frame's twelfth byte written to the reading at an
//                                     MQTT subscriber, beside the broker's own publish-to-
//                                     subscriber time measured in the same run, each after the
//                                     same pause (median, p99, and the reader's minus the
//                                     broker's), and the hop from a write on a pty to a thread
//                                     reading it, which the reader pays and the broker not
//   read_bench record [--seconds S]   the frame's twelfth byte written to its JSON line read, of
//                                     karvel-read with --record (SQLite, every commit synced) and
//                                     without, side by side on the same frames, at 10 and 80
//                                     frames/s with --capture every: p50 and p99 of each, their
//                                     ratio, and the difference (what the commit costs)
//   read_bench fleet [--seconds S]    32 simulated scales at 10 frames/s, 32 readers (change
//                                     capture), one broker, one subscriber: readings lost, CPU
//                                     and resident memory per reader (default 600 s)
//   read_bench stream [--seconds S]   a family's lines at 115 200 baud, 600 a second, with
//                                     --capture every, MQTT and ten event clients: lines lost,
//                                     time_us against the write (bench/read/StreamBench.h)
//   read_bench wire [--seconds S]     the same lines at the same moments over a pty and over TCP
//                                     (--port tcp://): time_us against the write, p50 and p99 of
//                                     each, their ratio (bench/read/WireBench.h)
//   read_bench record-rate [--seconds S]  weighings per second into PostgreSQL (a cluster of
//                                     its own) and into SQLite (bench/read/RecordFlowBench.h)
//   read_bench record-memory          resident memory at the 10 000th and 100 000th weighing
//                                     recorded into SQLite, fed at 115 200 baud
// Programs are taken from beside read_bench.

#include <fcntl.h>
#include <mosquitto.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/read/RecordFlowBench.h"
#include "bench/read/StreamBench.h"
#include "bench/read/WireBench.h"
#include "bench/support/CommandLine.h"
#include "bench/support/Measures.h"
#include "platform/posix/UniqueFd.h"
#include "platform/serial/PseudoTerminal.h"
#include "tools/peers/ReaderPeers.h"
#include "tools/scalesim/ScaleFrames.h"
#include "tools/scalesim/ScaleModel.h"

namespace {

namespace fs = std::filesystem;
using readtest::Clock;

std::string g_binDir;

using bench::End;
using bench::Figure;
using bench::LinesIn;
using bench::Spawn;

// The simulated scale's frames, one after another.
class FrameSource {
  public:
    explicit FrameSource(int rate) : m_model(1, rate) {}
    scale::FrameBytes Next() {
        m_model.Tick();
        return scalesim::EncodeFrame(m_model.Slots());
    }

  private:
    scalesim::ScaleModel m_model;
};

// CPU of karvel-read and of the plain reader over the same window, while the same frames at
// `rate` go to each at the same moments (each on a line of its own): whatever else the machine
// does then weighs on both alike. Percent of one core, karvel-read first.
std::pair<double, double> ReadersCpuPercent(int rate, int seconds) {
    readtest::TempDir dir;
    auto karvelLine = serial_port::PseudoTerminal::Create();
    auto peerLine = serial_port::PseudoTerminal::Create();
    fs::create_symlink(karvelLine->DevicePath(), dir / "COM1");
    ::setenv("KARVEL_PORT_DIR", dir.Path().c_str(), 1);
    const pid_t karvel =
        Spawn({g_binDir + "/karvel-read", "--port", "COM1", "--capture", "every", "--id", "peer"},
              "/dev/null");
    const pid_t peer =
        Spawn({g_binDir + "/plain_json_reader", peerLine->DevicePath()}, "/dev/null");
    if (karvelLine->ReadExactly(1, std::chrono::seconds(10)).empty())
        std::fprintf(stderr, "read_bench: karvel-read did not probe\n");
    const std::uint8_t answer[] = {0x06, 0xAA};
    karvelLine->Write(answer);
    // Each settles (the peer opens its port, the reader looks at the machine's ports) before
    // its CPU is counted.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    FrameSource frames(rate);
    const auto period = std::chrono::microseconds(1000000 / rate);
    const double karvelBefore = bench::ProcessCpuSeconds(karvel);
    const double peerBefore = bench::ProcessCpuSeconds(peer);
    const auto start = Clock::now();
    auto next = start;
    for (int i = 0; i < rate * seconds; ++i) {
        next += period;
        std::this_thread::sleep_until(next);
        const scale::FrameBytes frame = frames.Next();
        // Who goes first takes turns, so that neither always wakes on a busier core.
        if (i % 2 == 0) {
            karvelLine->Write(frame);
            peerLine->Write(frame);
        } else {
            peerLine->Write(frame);
            karvelLine->Write(frame);
        }
    }
    const double karvelCpu = bench::ProcessCpuSeconds(karvel) - karvelBefore;
    const double peerCpu = bench::ProcessCpuSeconds(peer) - peerBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    End(karvel);
    End(peer);
    return {100.0 * karvelCpu / wall, 100.0 * peerCpu / wall};
}

int Cpu(int seconds) {
    constexpr int kRounds = 5;
    for (const int rate : {80, 10}) {
        std::vector<double> karvel, peer, ratio;
        for (int round = 0; round < kRounds; ++round) {
            const auto [k, p] = ReadersCpuPercent(rate, seconds);
            karvel.push_back(k);
            peer.push_back(p);
            ratio.push_back(p > 0 ? k / p : 0);
        }
        const std::string r = std::to_string(rate) + "fps";
        Figure("peer_cpu_percent_" + r, bench::Percentile(peer, 0.5), "%");
        Figure("karvel_read_cpu_percent_" + r, bench::Percentile(karvel, 0.5), "%");
        Figure("karvel_read_vs_peer_cpu_" + r, bench::Percentile(ratio, 0.5), "x");
    }
    return 0;
}

// Microseconds from `send` to the `want`th message on `topic` at `subscriber`; none when it did
// not come.
std::optional<double> TimeToArrival(readtest::Subscriber& subscriber, const std::string& topic,
                                    std::size_t want, const std::function<void()>& send) {
    const auto sent = Clock::now();
    send();
    if (!subscriber.WaitFor([&](const std::vector<readtest::Message>& all) {
            return readtest::PayloadsOn(all, topic).size() >= want;
        }))
        return std::nullopt;
    const auto messages = subscriber.Messages();
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
        if (it->topic == topic)
            return std::chrono::duration<double, std::micro>(it->arrived - sent).count();
    }
    return std::nullopt;
}

// The hop that every reader of a serial line pays and the broker's round does not: from a write
// on a pseudo-terminal to its read by a thread that waits in poll on the device side.
class PtyHop {
  public:
    PtyHop() : m_line(serial_port::PseudoTerminal::Create()) {
        if (m_line)
            m_device = posix::UniqueFd(
                ::open(m_line->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (m_device)
            m_thread = std::thread([this] { Run(); });
    }
    ~PtyHop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    PtyHop(const PtyHop&) = delete;
    PtyHop& operator=(const PtyHop&) = delete;

    // Microseconds from writing `frame` to its read; none when it did not come.
    std::optional<double> Time(std::span<const std::uint8_t> frame) {
        std::unique_lock lock(m_lock);
        const long before = m_reads;
        lock.unlock();
        const auto sent = Clock::now();
        if (!m_device || !m_line->Write(frame))
            return std::nullopt;
        lock.lock();
        if (!m_read.wait_for(lock, std::chrono::seconds(5), [&] { return m_reads > before; }))
            return std::nullopt;
        return std::chrono::duration<double, std::micro>(m_arrived - sent).count();
    }

  private:
    void Run() {
        std::uint8_t buffer[256];
        while (!m_stop) {
            pollfd p{m_device.Get(), POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0 || ::read(m_device.Get(), buffer, sizeof buffer) <= 0)
                continue;
            const auto now = Clock::now();
            const std::lock_guard lock(m_lock);
            m_arrived = now;
            ++m_reads;
            m_read.notify_all();
        }
    }

    std::optional<serial_port::PseudoTerminal> m_line;
    posix::UniqueFd m_device;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::condition_variable m_read;
    long m_reads = 0;
    Clock::time_point m_arrived;
    std::thread m_thread;
};

int Latency(int seconds) {
    readtest::Broker broker;
    if (!broker.Start())
        return 1;
    readtest::TempDir dir;
    auto pty = serial_port::PseudoTerminal::Create();
    fs::create_symlink(pty->DevicePath(), dir / "COM1");
    ::setenv("KARVEL_PORT_DIR", dir.Path().c_str(), 1);
    readtest::Subscriber subscriber(broker.Port(), "#");
    const pid_t pid = Spawn({g_binDir + "/karvel-read", "--port", "COM1", "--capture", "every",
                             "--id", "b", "--mqtt", broker.Url()},
                            "/dev/null");
    pty->ReadExactly(1, std::chrono::seconds(10));
    const std::uint8_t answer[] = {0x06, 0xAA};
    pty->Write(answer);
    subscriber.WaitFor([](const std::vector<readtest::Message>& all) {
        return !readtest::PayloadsOn(all, "karvel/b/availability").empty();
    });
    // The frame and the broker's own round each come after the same pause, so that neither
    // finds the machine woken up by the other.
    constexpr auto kPause = std::chrono::milliseconds(15);
    FrameSource frames(80);
    PtyHop hop;
    std::vector<double> reader, floor, hops;
    const std::string ping(400, 'x');
    for (int i = 0; i < seconds * 20; ++i) {
        scale::FrameBytes frame = frames.Next();
        frame[scale::kIgnoredByte] = static_cast<std::uint8_t>(i);  // every frame differs
        const std::size_t want = static_cast<std::size_t>(i) + 1;
        const auto read =
            TimeToArrival(subscriber, "karvel/b/reading", want, [&] { pty->Write(frame); });
        if (!read)
            break;
        reader.push_back(*read);
        std::this_thread::sleep_for(kPause);
        const auto pinged = TimeToArrival(subscriber, "bench/ping", want,
                                          [&] { subscriber.Publish("bench/ping", ping); });
        if (pinged)
            floor.push_back(*pinged);
        std::this_thread::sleep_for(kPause);
        if (const auto hopped = hop.Time(frame))
            hops.push_back(*hopped);
        std::this_thread::sleep_for(kPause);
    }
    End(pid);
    Figure("samples", static_cast<double>(reader.size()), "");
    Figure("frame_to_subscriber_median_us", bench::Percentile(reader, 0.5), "us");
    Figure("frame_to_subscriber_p99_us", bench::Percentile(reader, 0.99), "us");
    Figure("floor_broker_publish_to_subscriber_median_us", bench::Percentile(floor, 0.5), "us");
    Figure("floor_broker_publish_to_subscriber_p99_us", bench::Percentile(floor, 0.99), "us");
    Figure("frame_to_subscriber_minus_floor_median_us",
           bench::Percentile(reader, 0.5) - bench::Percentile(floor, 0.5), "us");
    Figure("frame_to_subscriber_minus_floor_p99_us",
           bench::Percentile(reader, 0.99) - bench::Percentile(floor, 0.99), "us");
    // What is left to the reader once the line's own hop is taken off too.
    Figure("pty_hop_median_us", bench::Percentile(hops, 0.5), "us");
    Figure("pty_hop_p99_us", bench::Percentile(hops, 0.99), "us");
    Figure("frame_to_subscriber_minus_floor_and_hop_median_us",
           bench::Percentile(reader, 0.5) - bench::Percentile(floor, 0.5) -
               bench::Percentile(hops, 0.5),
           "us");
    return 0;
}

// Counts readings per topic without keeping them.
class Counter {
  public:
    explicit Counter(int port) {
        mosquitto_lib_init();
        m_client = mosquitto_new("fleet-counter", true, this);
        mosquitto_connect_callback_set(m_client, [](mosquitto* c, void*, int) {
            mosquitto_subscribe(c, nullptr, "fleet/+/reading", 1);
        });
        mosquitto_subscribe_callback_set(m_client,
                                         [](mosquitto*, void* self, int, int, const int*) {
                                             auto* counter = static_cast<Counter*>(self);
                                             const std::lock_guard lock(counter->m_lock);
                                             counter->m_subscribed = true;
                                             counter->m_changed.notify_all();
                                         });
        mosquitto_message_callback_set(
            m_client, [](mosquitto*, void* self, const mosquitto_message* message) {
                auto* counter = static_cast<Counter*>(self);
                const std::lock_guard lock(counter->m_lock);
                ++counter->m_counts[message->topic];
            });
        mosquitto_connect(m_client, "127.0.0.1", port, 30);
        mosquitto_loop_start(m_client);
    }
    ~Counter() {
        mosquitto_disconnect(m_client);
        mosquitto_loop_stop(m_client, false);
        mosquitto_destroy(m_client);
    }
    // Readings published before the broker has the subscription would never reach it.
    bool WaitSubscribed() {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [this] { return m_subscribed; });
    }
    std::size_t Of(const std::string& topic) {
        const std::lock_guard lock(m_lock);
        return m_counts[topic];
    }

  private:
    mosquitto* m_client = nullptr;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_subscribed = false;
    std::map<std::string, std::size_t> m_counts;
};

// A program whose standard output is read by a thread of its own, each line stamped with the
// time it was read.
class StampedReader {
  public:
    explicit StampedReader(std::vector<std::string> argv) {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            std::vector<char*> args;
            for (std::string& arg : argv)
                args.push_back(arg.data());
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        m_fd = fds[0];
        m_thread = std::thread([this] { Read(); });
    }
    ~StampedReader() {
        if (m_pid > 0)
            End(m_pid);
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    std::vector<Clock::time_point> Stamps() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_stamps;
    }

  private:
    void Read() {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0) {
            const auto now = Clock::now();
            const std::lock_guard<std::mutex> lock(m_mutex);
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] == '\n')
                    m_stamps.push_back(now);
            }
        }
    }

    pid_t m_pid = -1;
    int m_fd = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Clock::time_point> m_stamps;
};

// Microseconds from each frame written to its line read, as far as both go.
std::vector<double> FrameToLine(const std::vector<Clock::time_point>& sent,
                                const std::vector<Clock::time_point>& read) {
    if (sent.size() != read.size())
        std::fprintf(stderr, "read_bench: %zu frames sent, %zu lines read\n", sent.size(),
                     read.size());
    std::vector<double> micros;
    for (std::size_t i = 0; i < std::min(sent.size(), read.size()); ++i)
        micros.push_back(std::chrono::duration<double, std::micro>(read[i] - sent[i]).count());
    return micros;
}

// The same frames at `rate` to karvel-read without and with --record, each on a line of its
// own: microseconds from each frame to its JSON line, without first.
std::pair<std::vector<double>, std::vector<double>> RecordRun(int rate, int seconds) {
    readtest::TempDir dir;
    auto plainLine = serial_port::PseudoTerminal::Create();
    auto recordLine = serial_port::PseudoTerminal::Create();
    fs::create_symlink(plainLine->DevicePath(), dir / "COM1");
    fs::create_symlink(recordLine->DevicePath(), dir / "COM2");
    ::setenv("KARVEL_PORT_DIR", dir.Path().c_str(), 1);
    ::setenv("XDG_STATE_HOME", dir.Path().c_str(), 1);
    const std::string reader = g_binDir + "/karvel-read";
    StampedReader plain({reader, "--port", "COM1", "--capture", "every", "--id", "plain"});
    StampedReader recorded({reader, "--port", "COM2", "--capture", "every", "--id", "kept",
                            "--record", "sqlite:" + (dir / "weighings.sqlite")});
    const std::uint8_t answer[] = {0x06, 0xAA};
    for (auto* line : {&*plainLine, &*recordLine}) {
        if (line->ReadExactly(1, std::chrono::seconds(10)).empty())
            std::fprintf(stderr, "read_bench: karvel-read did not probe\n");
        line->Write(answer);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));  // both have opened their ports
    FrameSource frames(rate);
    const auto period = std::chrono::microseconds(1000000 / rate);
    std::vector<Clock::time_point> plainSent, recordSent;
    auto next = Clock::now();
    for (int i = 0; i < rate * seconds; ++i) {
        next += period;
        std::this_thread::sleep_until(next);
        scale::FrameBytes frame = frames.Next();
        frame[scale::kIgnoredByte] = static_cast<std::uint8_t>(i);  // every frame differs
        // Who goes first takes turns, so that neither always wakes on a busier core.
        for (int turn = 0; turn < 2; ++turn) {
            const bool plainNow = (turn == 0) == (i % 2 == 0);
            (plainNow ? plainLine : recordLine)->Write(frame);
            (plainNow ? plainSent : recordSent).push_back(Clock::now());
        }
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));  // the last lines come
    return {FrameToLine(plainSent, plain.Stamps()), FrameToLine(recordSent, recorded.Stamps())};
}

int Record(int seconds) {
    for (const int rate : {10, 80}) {
        const auto [plain, recorded] = RecordRun(rate, seconds);
        const std::string r = std::to_string(rate) + "fps";
        const double plainP50 = bench::Percentile(plain, 0.5);
        const double recordP50 = bench::Percentile(recorded, 0.5);
        Figure("frame_to_json_p50_us_" + r, plainP50, "us");
        Figure("frame_to_json_p99_us_" + r, bench::Percentile(plain, 0.99), "us");
        Figure("record_frame_to_json_p50_us_" + r, recordP50, "us");
        Figure("record_frame_to_json_p99_us_" + r, bench::Percentile(recorded, 0.99), "us");
        Figure("record_vs_plain_p50_" + r, plainP50 > 0 ? recordP50 / plainP50 : 0, "x");
        Figure("record_commit_p50_us_" + r, recordP50 - plainP50, "us");
        Figure("record_commit_p99_us_" + r,
               bench::Percentile(recorded, 0.99) - bench::Percentile(plain, 0.99), "us");
    }
    return 0;
}

int Fleet(int seconds) {
    constexpr int kScales = 32;
    readtest::Broker broker;
    if (!broker.Start())
        return 1;
    readtest::TempDir dir;
    const std::string ports = dir / "ports";
    fs::create_directory(ports);
    std::string list;
    for (int n = 1; n <= kScales; ++n)
        list += (n > 1 ? "," : "") + std::to_string(n);
    const pid_t sim = Spawn({g_binDir + "/karvel-scalesim", "--port-dir", ports, "--com", list,
                             "--rate", "10", "--quiet"},
                            dir / "sim.out");
    while (LinesIn(dir / "sim.out") < kScales + 1) {
        if (::waitpid(sim, nullptr, WNOHANG) == sim) {
            std::fprintf(stderr, "read_bench: karvel-scalesim ended\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::setenv("KARVEL_PORT_DIR", ports.c_str(), 1);
    Counter counter(broker.Port());
    if (!counter.WaitSubscribed()) {
        std::fprintf(stderr, "read_bench: the counter could not subscribe\n");
        End(sim);
        return 1;
    }
    std::vector<pid_t> readers;
    for (int n = 1; n <= kScales; ++n) {
        readers.push_back(
            Spawn({g_binDir + "/karvel-read", "--port", "COM" + std::to_string(n), "--id",
                   "s" + std::to_string(n), "--mqtt", broker.Url() + "/fleet"},
                  dir / ("r" + std::to_string(n) + ".jsonl")));
    }
    std::this_thread::sleep_for(std::chrono::seconds(5));  // all have found their scales
    std::vector<double> cpuBefore, rssStart;
    for (const pid_t pid : readers) {
        cpuBefore.push_back(bench::ProcessCpuSeconds(pid));
        rssStart.push_back(bench::ResidentKb(pid));
    }
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> cpu, rssEnd;
    for (std::size_t i = 0; i < readers.size(); ++i) {
        cpu.push_back(100.0 * (bench::ProcessCpuSeconds(readers[i]) - cpuBefore[i]) / wall);
        rssEnd.push_back(bench::ResidentKb(readers[i]));
    }
    for (const pid_t pid : readers)
        ::kill(pid, SIGTERM);
    for (const pid_t pid : readers)
        ::waitpid(pid, nullptr, 0);
    End(sim);
    std::this_thread::sleep_for(std::chrono::seconds(2));  // the last ones reach the counter
    std::size_t printed = 0, lost = 0;
    for (int n = 1; n <= kScales; ++n) {
        const std::size_t lines = LinesIn(dir / ("r" + std::to_string(n) + ".jsonl"));
        const std::size_t got = counter.Of("fleet/s" + std::to_string(n) + "/reading");
        printed += lines;
        lost += lines > got ? lines - got : 0;
    }
    Figure("fleet_seconds", wall, "s");
    Figure("fleet_readings_printed", static_cast<double>(printed), "");
    Figure("fleet_readings_lost", static_cast<double>(lost), "");
    Figure("fleet_cpu_percent_per_reader_median", bench::Percentile(cpu, 0.5), "%");
    Figure("fleet_cpu_percent_per_reader_max", bench::Percentile(cpu, 1.0), "%");
    Figure("fleet_rss_kb_per_reader_start_median", bench::Percentile(rssStart, 0.5), "kB");
    Figure("fleet_rss_kb_per_reader_end_median", bench::Percentile(rssEnd, 0.5), "kB");
    std::vector<double> growth;
    for (std::size_t i = 0; i < rssEnd.size(); ++i)
        growth.push_back(rssEnd[i] - rssStart[i]);
    Figure("fleet_rss_growth_kb_per_reader_max", bench::Percentile(growth, 1.0), "kB");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    g_binDir = fs::path(fs::canonical("/proc/self/exe")).parent_path().string();
    int seconds = 0;
    std::vector<std::string> modes;
    cli::OptionTable table(cli::kEvery);
    table.Add({.name = "--seconds",
               .value = "S",
               .help = "how long to measure (default 20; fleet 600)",
               .apply = bench::Whole("--seconds", 1, 86400, seconds)});
    if (const auto code =
            bench::ReadCommandLine(table,
                                   "Modes: cpu, latency, record, fleet, stream, wire, record-rate, "
                                   "record-memory (read_bench MODE [--seconds S]).",
                                   argc, argv, &modes))
        return *code;
    const std::string mode = modes.size() == 1 ? modes.front() : "";
    if (seconds == 0)
        seconds = mode == "fleet" ? 600 : 20;
    if (mode == "cpu")
        return Cpu(seconds);
    if (mode == "latency")
        return Latency(seconds);
    if (mode == "fleet")
        return Fleet(seconds);
    if (mode == "record")
        return Record(seconds);
    if (mode == "stream")
        return bench::Stream(seconds, g_binDir);
    if (mode == "wire")
        return bench::Wire(seconds, g_binDir);
    if (mode == "record-rate")
        return bench::RecordRate(seconds, g_binDir);
    if (mode == "record-memory")
        return bench::RecordMemory(g_binDir);
    std::fputs(
        "usage: read_bench cpu|latency|record|fleet|stream|wire|record-rate|record-memory "
        "[--seconds S]\n",
        stderr);
    return 2;
}
