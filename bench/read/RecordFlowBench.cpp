#include "bench/read/RecordFlowBench.h"

#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/Measures.h"
#include "platform/serial/PseudoTerminal.h"
#include "tools/peers/PgCluster.h"
#include "tools/peers/ReaderPeers.h"
#include "tools/peers/RunProgram.h"

namespace bench {
namespace {

namespace fs = std::filesystem;
using std::chrono::steady_clock;

constexpr int kBaud = 115200;

// The record number of the last whole JSON line in `path` (the reader prints a weighing only
// once it is committed); 0 before the first.
long LastRecord(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = file.tellg();
    if (size <= 0)
        return 0;
    const std::streamoff from = std::max<std::streamoff>(0, size - 4096);
    std::string tail(static_cast<std::size_t>(size - from), '\0');
    file.seekg(from);
    file.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    const auto end = tail.rfind('\n');
    const auto at = end == std::string::npos ? end : tail.rfind("\"record\":", end);
    return at == std::string::npos ? 0 : std::stol(tail.substr(at + 9));
}

// A sics balance sending stable weighings on a pty without pause: as fast as the reader takes
// them, or at most as fast as a line at `baud` carries them.
class Feeder {
  public:
    Feeder(serial_port::PseudoTerminal& pty, std::optional<int> baud)
        : m_thread([this, &pty, baud] { Run(pty, baud); }) {}
    ~Feeder() {
        m_stop = true;
        m_thread.join();
    }
    Feeder(const Feeder&) = delete;
    Feeder& operator=(const Feeder&) = delete;

  private:
    void Run(serial_port::PseudoTerminal& pty, std::optional<int> baud) {
        auto next = steady_clock::now();
        for (long n = 1; !m_stop; ++n) {
            // Weights that differ line to line, as a filling hopper's do.
            const std::string line = "S S " + std::to_string(n % 100000) + ".00 g\r\n";
            if (baud) {
                // Ten bits a byte (8N1); behind, the wire sends at once but never in a burst.
                next = std::max(next + std::chrono::microseconds(static_cast<long>(line.size()) *
                                                                 10'000'000 / *baud),
                                steady_clock::now());
                std::this_thread::sleep_until(next);
            }
            if (!pty.Write(
                    std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size())))
                return;
        }
    }

    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// One karvel-read on a pty of its own recording to `url`, fed by a Feeder.
class RecordingReader {
  public:
    RecordingReader(const std::string& binDir, const readtest::TempDir& dir, const std::string& url,
                    std::optional<int> baud)
        : m_pty(serial_port::PseudoTerminal::Create()), m_out(dir / "readings.json") {
        if (!m_pty) {
            std::fprintf(stderr, "read_bench: no pseudo-terminal\n");
            return;
        }
        fs::create_symlink(m_pty->DevicePath(), dir / "COM1");
        ::setenv("KARVEL_PORT_DIR", dir.Path().c_str(), 1);
        ::setenv("XDG_STATE_HOME", dir.Path().c_str(), 1);
        m_pid = Spawn({binDir + "/karvel-read", "--port", "COM1", "--protocol", "sics", "--line",
                       "115200,8N1", "--capture", "every", "--id", "flow", "--record", url},
                      m_out);
        m_feeder.emplace(*m_pty, baud);
    }
    ~RecordingReader() {
        m_feeder.reset();
        if (m_pid > 0)
            End(m_pid);
    }
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    pid_t Pid() const { return m_pid; }
    long Recorded() const { return LastRecord(m_out); }
    // Waits until `count` weighings are recorded or `wait` has passed; the number recorded.
    long WaitFor(long count, steady_clock::duration wait) const {
        const auto until = steady_clock::now() + wait;
        long recorded = Recorded();
        while (m_pid > 0 && recorded < count && steady_clock::now() < until &&
               ::waitpid(m_pid, nullptr, WNOHANG) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            recorded = Recorded();
        }
        return recorded;
    }

  private:
    std::optional<serial_port::PseudoTerminal> m_pty;
    std::string m_out;
    pid_t m_pid = -1;
    std::optional<Feeder> m_feeder;
};

// Weighings per second committed to `url` over `seconds`, after the first second; 0 when the
// reader recorded none.
double RowsPerSecond(const std::string& binDir, const std::string& url, int seconds) {
    readtest::TempDir dir;
    const RecordingReader reader(binDir, dir, url, std::nullopt);
    if (reader.WaitFor(1, std::chrono::seconds(60)) < 1)
        return 0;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long before = reader.Recorded();
    const auto start = steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const long after = reader.Recorded();
    const double wall = std::chrono::duration<double>(steady_clock::now() - start).count();
    return static_cast<double>(after - before) / wall;
}

// What karvel-read --verify says of the record at `url`, on one line.
void SayVerified(const std::string& binDir, const std::string& url) {
    const readtest::TempDir scratch;
    const auto run = testing_support::RunProgram(binDir + "/karvel-read",
                                                 {"--verify", "--record", url}, scratch.Path());
    std::string said = run.out + run.err;
    std::replace(said.begin(), said.end(), '\n', ' ');
    std::printf("read_bench: --verify of %s: %s(exit %d)\n", url.c_str(), said.c_str(),
                run.exitStatus);
}

}  // namespace

int RecordRate(int seconds, const std::string& binDir) {
    const recordtest::PgCluster cluster;
    if (!cluster.Why().empty()) {
        std::fprintf(stderr, "read_bench: no PostgreSQL cluster: %s\n", cluster.Why().c_str());
        return 1;
    }
    const readtest::TempDir files;
    const std::string sqlite = "sqlite:" + (files / "weighings.sqlite");
    const double intoSqlite = RowsPerSecond(binDir, sqlite, seconds);
    const double intoPostgres = RowsPerSecond(binDir, cluster.Url(), seconds);
    SayVerified(binDir, sqlite);
    SayVerified(binDir, cluster.Url());
    Figure("record_rate_sqlite_weighings_per_s", intoSqlite, "/s");
    Figure("record_rate_postgresql_weighings_per_s", intoPostgres, "/s");
    Figure("record_rate_postgresql_vs_sqlite", intoSqlite > 0 ? intoPostgres / intoSqlite : 0, "x");
    return intoSqlite > 0 && intoPostgres > 0 ? 0 : 1;
}

int RecordMemory(const std::string& binDir) {
    constexpr long kEarly = 10'000, kLate = 100'000;
    readtest::TempDir dir;
    const std::string url = "sqlite:" + (dir / "weighings.sqlite");
    const auto start = steady_clock::now();
    double early = 0, late = 0;
    long atEarly = 0, atLate = 0;
    {
        const RecordingReader reader(binDir, dir, url, kBaud);
        atEarly = reader.WaitFor(kEarly, std::chrono::minutes(30));
        early = ResidentKb(reader.Pid());
        if (atEarly >= kEarly) {
            atLate = reader.WaitFor(kLate, std::chrono::hours(3));
            late = ResidentKb(reader.Pid());
        }
    }
    const double wall = std::chrono::duration<double>(steady_clock::now() - start).count();
    SayVerified(binDir, url);
    Figure("record_memory_weighings_at_first_sample", static_cast<double>(atEarly), "");
    Figure("record_memory_weighings_at_second_sample", static_cast<double>(atLate), "");
    Figure("record_memory_rss_first_kb", early, "kB");
    Figure("record_memory_rss_second_kb", late, "kB");
    Figure("record_memory_growth_kb", late - early, "kB");
    Figure("record_memory_weighings_per_s", static_cast<double>(atLate) / wall, "/s");
    return atLate >= kLate ? 0 : 1;
}

}  // namespace bench
