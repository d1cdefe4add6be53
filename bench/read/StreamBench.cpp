#include "bench/read/StreamBench.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
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
using std::chrono::microseconds;

constexpr int kLinesPerSecond = 600;
constexpr int kEventClients = 10;

// One client of the reader's event stream, counting the readings it is sent.
class EventClient {
  public:
    explicit EventClient(int port) {
        m_fd = posix::UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return;
        const std::string request =
            "GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
            "\r\nAccept: text/event-stream\r\n\r\n";
        if (::write(m_fd.Get(), request.data(), request.size()) < 0)
            return;
        m_thread = std::thread([this] { Run(); });
    }
    ~EventClient() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    EventClient(const EventClient&) = delete;
    EventClient& operator=(const EventClient&) = delete;
    long Readings() const { return m_readings; }

  private:
    void Run() {
        std::string tail;
        char buffer[65536];
        while (!m_stop) {
            pollfd p{m_fd.Get(), POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const ssize_t n = ::read(m_fd.Get(), buffer, sizeof buffer);
            if (n <= 0)
                return;
            tail.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t at; (at = tail.find("event: reading\n")) != std::string::npos;) {
                ++m_readings;
                tail.erase(0, at + 15);
            }
            if (tail.size() > 15)
                tail.erase(0, tail.size() - 15);
        }
    }

    posix::UniqueFd m_fd;
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_readings{0};
    std::thread m_thread;
};

// Writes line n at its moment, from the moment the first was sent, and keeps when each went.
std::vector<long long> Send(serial_port::PseudoTerminal& pty, int seconds) {
    std::vector<long long> sent(static_cast<std::size_t>(seconds * kLinesPerSecond) + 1);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t n = 1; n < sent.size(); ++n) {
        std::this_thread::sleep_until(start + microseconds(1'000'000 / kLinesPerSecond) *
                                                  static_cast<long>(n));
        const std::string line = "S S " + std::to_string(n) + ".00 g\r\n";
        pty.Write(std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
        sent[n] = NowUs();
    }
    return sent;
}

void Report(const std::vector<long long>& sent, const std::vector<TimedReading>& reads,
            const std::vector<std::unique_ptr<EventClient>>& clients, std::size_t published) {
    std::vector<double> latency;
    std::map<long, bool> seen;
    for (const TimedReading& read : reads) {
        if (read.index <= 0 || static_cast<std::size_t>(read.index) >= sent.size())
            continue;
        seen[read.index] = true;
        latency.push_back(
            static_cast<double>(read.timeUs - sent[static_cast<std::size_t>(read.index)]));
    }
    // Lines sent before the reader had opened the port are not its to lose.
    const long first = seen.empty() ? 1 : seen.begin()->first;
    const long expected = static_cast<long>(sent.size()) - first;
    long fewestAtClient = expected;
    for (const auto& client : clients)
        fewestAtClient = std::min(fewestAtClient, client->Readings());
    Figure("stream_lines_expected", static_cast<double>(expected), "");
    Figure("stream_lines_lost_stdout",
           static_cast<double>(expected - static_cast<long>(seen.size())), "");
    Figure("stream_lines_lost_mqtt", static_cast<double>(expected - static_cast<long>(published)),
           "");
    Figure("stream_lines_lost_sse_worst", static_cast<double>(expected - fewestAtClient), "");
    const double median = Percentile(latency, 0.5);
    const double p99 = Percentile(latency, 0.99);
    Figure("stream_time_us_minus_write_median", median, "us");
    Figure("stream_time_us_minus_write_p99", p99, "us");
    Figure("stream_time_us_p99_minus_median", p99 - median, "us");
}

}  // namespace

int Stream(int seconds, const std::string& binDir) {
    readtest::Broker broker;
    if (!broker.Start())
        return 1;
    readtest::TempDir dir;
    auto pty = serial_port::PseudoTerminal::Create();
    fs::create_symlink(pty->DevicePath(), dir / "COM1");
    ::setenv("KARVEL_PORT_DIR", dir.Path().c_str(), 1);
    readtest::Subscriber subscriber(broker.Port(), "karvel/b/reading");
    const int http = readtest::FreePort();
    const std::string out = dir / "readings.json";
    const pid_t reader = Spawn({binDir + "/karvel-read", "--port", "COM1", "--protocol", "sics",
                                "--line", "115200,8N1", "--capture", "every", "--id", "b", "--mqtt",
                                broker.Url(), "--http", "127.0.0.1:" + std::to_string(http)},
                               out);
    // Heard sending, the reader asks nothing: a line a tenth of a second until it has read one.
    const std::string hello = "S S 0.00 g\r\n";
    const auto greeted = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::ifstream(out).peek() == std::ifstream::traits_type::eof() &&
           std::chrono::steady_clock::now() < greeted) {
        pty->Write(std::span(reinterpret_cast<const std::uint8_t*>(hello.data()), hello.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::vector<std::unique_ptr<EventClient>> clients;
    for (int n = 0; n < kEventClients; ++n)
        clients.push_back(std::make_unique<EventClient>(http));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the clients are connected
    const std::vector<long long> sent = Send(*pty, seconds);
    // Readings at the broker, but the greeting's.
    const auto published = [](const std::vector<readtest::Message>& all) {
        std::size_t count = 0;
        for (const auto& message : all)
            count += message.payload.find("\"text\":\"0.00\"") == std::string::npos;
        return count;
    };
    subscriber.WaitFor([&](const auto& all) { return published(all) + 1 >= sent.size(); },
                       std::chrono::seconds(20));
    // Events still on their way to a client when the reader ends would count as lost.
    const auto delivered = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (const auto& client : clients) {
        while (client->Readings() + 1 < static_cast<long>(sent.size()) &&
               std::chrono::steady_clock::now() < delivered)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    End(reader);
    Report(sent, ReadingsIn(out), clients, published(subscriber.Messages()));
    return 0;
}

}  // namespace bench
