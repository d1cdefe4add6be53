#include "bench/read/WireBench.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/read/TimedReadings.h"
#include "bench/support/Measures.h"
#include "platform/posix/UniqueFd.h"
#include "platform/serial/PseudoTerminal.h"
#include "tools/peers/ReaderPeers.h"

namespace bench {
namespace {

namespace fs = std::filesystem;
using std::chrono::steady_clock;

constexpr int kLinesPerSecond = 100;

// The scale's end of a raw TCP wire on loopback: one client, taken when it connects.
class ScaleSocket {
  public:
    ScaleSocket() : m_listen(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(m_listen.Get(), reinterpret_cast<sockaddr*>(&address), size) == 0 &&
            ::listen(m_listen.Get(), 1) == 0 &&
            ::getsockname(m_listen.Get(), reinterpret_cast<sockaddr*>(&address), &size) == 0)
            m_port = ntohs(address.sin_port);
    }
    int Port() const { return m_port; }
    // False when no client came in time.
    bool Accept(std::chrono::seconds wait) {
        pollfd p{m_listen.Get(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(wait.count() * 1000)) != 1)
            return false;
        m_client = posix::UniqueFd(::accept4(m_listen.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        // A scale's server sends each line as it comes: the bench's own writes are not held
        // back waiting for the reader's acknowledgements.
        const int on = 1;
        ::setsockopt(m_client.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return static_cast<bool>(m_client);
    }
    void Write(const std::string& line) {
        if (::send(m_client.Get(), line.data(), line.size(), MSG_NOSIGNAL) < 0)
            std::perror("read_bench: send");
    }

  private:
    posix::UniqueFd m_listen;
    posix::UniqueFd m_client;
    int m_port = 0;
};

struct Wires {
    serial_port::PseudoTerminal& pty;
    ScaleSocket& socket;
    void Write(bool ptyFirst, const std::string& line, long long& ptySent, long long& tcpSent) {
        for (const bool toPty : {ptyFirst, !ptyFirst}) {
            if (toPty)
                pty.Write(
                    std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
            else
                socket.Write(line);
            (toPty ? ptySent : tcpSent) = NowUs();
        }
    }
};

bool Empty(const std::string& path) {
    return std::ifstream(path).peek() == std::ifstream::traits_type::eof();
}

// Heard sending, a reader asks nothing: a line a tenth of a second until both have read one.
bool Greet(Wires& wires, const std::string& ptyOut, const std::string& tcpOut) {
    const auto until = steady_clock::now() + std::chrono::seconds(60);
    long long ignored = 0;
    while ((Empty(ptyOut) || Empty(tcpOut)) && steady_clock::now() < until) {
        wires.Write(true, "S S 0.00 g\r\n", ignored, ignored);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return !Empty(ptyOut) && !Empty(tcpOut);
}

// Line n to both wires at its moment, who goes first taking turns so that neither always wakes
// on a busier core; when each went.
std::pair<std::vector<long long>, std::vector<long long>> Send(Wires& wires, int seconds) {
    const std::size_t count = static_cast<std::size_t>(seconds * kLinesPerSecond) + 1;
    std::vector<long long> ptySent(count), tcpSent(count);
    const auto start = steady_clock::now();
    for (std::size_t n = 1; n < count; ++n) {
        std::this_thread::sleep_until(
            start + std::chrono::microseconds(1'000'000 / kLinesPerSecond) * static_cast<long>(n));
        wires.Write(n % 2 == 0, "S S " + std::to_string(n) + ".00 g\r\n", ptySent[n], tcpSent[n]);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));  // the last lines are read
    return {ptySent, tcpSent};
}

void Report(const std::vector<double>& pty, const std::vector<double>& tcp, std::size_t sent) {
    Figure("wire_lines_sent", static_cast<double>(sent), "");
    Figure("wire_pty_readings", static_cast<double>(pty.size()), "");
    Figure("wire_tcp_readings", static_cast<double>(tcp.size()), "");
    const double ptyP50 = Percentile(pty, 0.5), tcpP50 = Percentile(tcp, 0.5);
    const double ptyP99 = Percentile(pty, 0.99), tcpP99 = Percentile(tcp, 0.99);
    Figure("wire_pty_time_us_minus_write_p50", ptyP50, "us");
    Figure("wire_pty_time_us_minus_write_p99", ptyP99, "us");
    Figure("wire_tcp_time_us_minus_write_p50", tcpP50, "us");
    Figure("wire_tcp_time_us_minus_write_p99", tcpP99, "us");
    Figure("wire_tcp_vs_pty_p50", ptyP50 > 0 ? tcpP50 / ptyP50 : 0, "x");
    Figure("wire_tcp_vs_pty_p99", ptyP99 > 0 ? tcpP99 / ptyP99 : 0, "x");
}

}  // namespace

int Wire(int seconds, const std::string& binDir) {
    readtest::TempDir dir;
    auto pty = serial_port::PseudoTerminal::Create();
    ScaleSocket socket;
    if (!pty || socket.Port() == 0) {
        std::fprintf(stderr, "read_bench: no pseudo-terminal or no loopback socket\n");
        return 1;
    }
    fs::create_symlink(pty->DevicePath(), dir / "COM1");
    ::setenv("KARVEL_PORT_DIR", dir.Path().c_str(), 1);
    const std::string reader = binDir + "/karvel-read";
    const std::string ptyOut = dir / "pty.json", tcpOut = dir / "tcp.json";
    const pid_t ptyReader = Spawn({reader, "--port", "COM1", "--protocol", "sics", "--line",
                                   "115200,8N1", "--capture", "every", "--id", "pty"},
                                  ptyOut);
    const pid_t tcpReader =
        Spawn({reader, "--port", "tcp://127.0.0.1:" + std::to_string(socket.Port()), "--protocol",
               "sics", "--capture", "every", "--id", "tcp"},
              tcpOut);
    Wires wires{*pty, socket};
    const bool ready = socket.Accept(std::chrono::seconds(60)) && Greet(wires, ptyOut, tcpOut);
    std::vector<double> ptyTimes, tcpTimes;
    std::size_t sent = 0;
    if (ready) {
        const auto [ptySent, tcpSent] = Send(wires, seconds);
        sent = ptySent.size() - 1;
        ptyTimes = SinceWritten(ptySent, ReadingsIn(ptyOut));
        tcpTimes = SinceWritten(tcpSent, ReadingsIn(tcpOut));
    }
    End(ptyReader);
    End(tcpReader);
    if (!ready) {
        std::fprintf(stderr, "read_bench: a reader did not connect or read\n");
        return 1;
    }
    Report(ptyTimes, tcpTimes, sent);
    return 0;
}

}  // namespace bench
