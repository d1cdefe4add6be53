// modbus_bench: two weight transmitters (units 1 and 2) on one RTU bus, a pseudo-terminal whose
// far end answers both, read through one modbus::Bus as karvel-read reads one: each unit polled
// every 100 ms (a poll waits while the one before it is in the queue), a TARE write for unit 1
// every 250 ms in the same queue. Prints the polls answered per second (20 expected) and the
// time from a key's write entering the queue to its request reaching the transmitter (median,
// 99th percentile, most). A pseudo-terminal has no baud rate: a real 19200 baud line adds about
// 10 ms per poll.

#include <modbus/modbus.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/support/CommandLine.h"
#include "bench/support/Measures.h"
#include "platform/modbus/Bus.h"
#include "tools/peers/Pty.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint16_t kCommand = 0x30;
// A read of holding registers and a write of one are 8 bytes each in RTU: unit, function,
// two words, the CRC.
constexpr std::size_t kRequestBytes = 8;

void Figure(const char* name, double value, const char* unit) {
    std::printf("figure: %s = %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

// Both units' registers on the far end of the line: each request read whole, answered by the
// unit it names.
class TwoUnits {
  public:
    explicit TwoUnits(const serial_port::PseudoTerminal& pty) : m_fd(pty.Descriptor()) {
        for (int unit = 0; unit < 2; ++unit) {
            m_contexts[unit] = ::modbus_new_rtu("/dev/null", 19200, 'N', 8, 1);
            ::modbus_set_slave(m_contexts[unit], unit + 1);
            ::modbus_set_socket(m_contexts[unit], m_fd);
            m_mappings[unit] = ::modbus_mapping_new(0, 0, 0x40, 0);
            m_mappings[unit]->tab_registers[1] = static_cast<std::uint16_t>(1000 * (unit + 1));
        }
        m_thread = std::thread([this] { Run(); });
    }
    ~TwoUnits() {
        m_stop = true;
        m_thread.join();
        for (int unit = 0; unit < 2; ++unit) {
            ::modbus_set_socket(m_contexts[unit], -1);
            ::modbus_free(m_contexts[unit]);
            ::modbus_mapping_free(m_mappings[unit]);
        }
    }
    // When each write reached the transmitter, in order.
    std::vector<Clock::time_point> Writes() {
        const std::lock_guard hold(m_lock);
        return m_writes;
    }

  private:
    void Run() {
        std::array<std::uint8_t, kRequestBytes> request{};
        std::size_t have = 0;
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(m_fd, request.data() + have, request.size() - have);
            if (n <= 0)
                continue;
            have += static_cast<std::size_t>(n);
            if (have < request.size())
                continue;
            have = 0;
            const int unit = request[0] - 1;
            if (unit < 0 || unit > 1)
                continue;
            if (request[1] == 0x06) {
                const std::lock_guard hold(m_lock);
                m_writes.push_back(Clock::now());
            }
            ::modbus_reply(m_contexts[unit], request.data(), static_cast<int>(request.size()),
                           m_mappings[unit]);
        }
    }

    int m_fd;
    std::array<modbus_t*, 2> m_contexts{};
    std::array<modbus_mapping_t*, 2> m_mappings{};
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::vector<Clock::time_point> m_writes;
    std::thread m_thread;
};

struct Counts {
    std::atomic<int> answered{0};
    std::atomic<int> failed{0};
    std::array<std::atomic<bool>, 2> asking{};
};

void Run(int seconds) {
    serial_port::PseudoTerminal pty = testing_support::MakePty();
    TwoUnits units(pty);
    modbus::Bus bus([path = pty.DevicePath()] {
        auto connection = modbus::Connection::Rtu({path, 19200, 'N', 8, 1});
        if (connection)
            connection->SetResponseTime(std::chrono::milliseconds(1000));
        return connection;
    });
    Counts counts;
    std::vector<Clock::time_point> submitted;
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    auto nextPoll = start;
    auto nextKey = start + std::chrono::milliseconds(125);
    while (Clock::now() < end) {
        std::this_thread::sleep_until(std::min(nextPoll, nextKey));
        if (Clock::now() >= nextKey) {
            submitted.push_back(Clock::now());
            bus.Submit([](modbus::Connection& c) { return c.Write(1, kCommand, 2); },
                       [](const posix::Status&) {});
            nextKey += std::chrono::milliseconds(250);
        }
        if (Clock::now() < nextPoll)
            continue;
        for (int unit = 0; unit < 2; ++unit) {
            if (counts.asking[unit].exchange(true))
                continue;
            bus.Submit(
                [unit](modbus::Connection& c) -> posix::Status {
                    const auto read = c.Read(unit + 1, modbus::Table::kHolding, 0, 2);
                    return read ? posix::Success() : posix::Status(read.Error());
                },
                [&counts, unit](const posix::Status& status) {
                    (status ? counts.answered : counts.failed)++;
                    counts.asking[unit] = false;
                });
        }
        nextPoll += std::chrono::milliseconds(100);
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    // The last requests are answered before the writes are looked at.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::vector<Clock::time_point> reached = units.Writes();
    std::vector<double> latencies;
    for (std::size_t i = 0; i < std::min(reached.size(), submitted.size()); ++i)
        latencies.push_back(
            std::chrono::duration<double, std::milli>(reached[i] - submitted[i]).count());
    Figure("modbus_rtu_polls_per_s_two_units_at_100ms", counts.answered / wall, "1/s");
    Figure("modbus_rtu_polls_failed", counts.failed, "polls");
    Figure("modbus_key_to_write_median_ms", bench::Percentile(latencies, 0.5), "ms");
    Figure("modbus_key_to_write_p99_ms", bench::Percentile(latencies, 0.99), "ms");
    Figure("modbus_key_to_write_most_ms", bench::Percentile(latencies, 1.0), "ms");
    Figure("modbus_keys_sent", static_cast<double>(submitted.size()), "writes");
    Figure("modbus_keys_written", static_cast<double>(reached.size()), "writes");
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 10;
    cli::OptionTable table(cli::kEvery);
    table.Add({.name = "--seconds",
               .value = "N",
               .help = "how long to poll (default 10)",
               .apply = bench::Whole("--seconds", 1, 600, seconds)});
    if (const auto exit = bench::ReadCommandLine(
            table, "Two Modbus RTU transmitters on one bus: polls per second, key to write.", argc,
            argv))
        return *exit;
    Run(seconds);
    return 0;
}
