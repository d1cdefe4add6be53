// karvel-read on the network: a TCP server in the test that speaks a family (and the described
// frames, answering the probe that comes over the socket); ser2net in front of a
// pseudo-terminal whose peer talks only once its speed was set through RFC 2217; each server
// killed and started again, lost and back said, and no reading made of bytes from both sides of
// the gap.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/read/ReadTestSupport.h"
#include "tests/support/PtyPeer.h"
#include "tools/peers/FamilyPeer.h"

namespace readtest {
namespace {

bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

// A scale's socket on loopback: once a client connects, `first` is sent, then `lines` in turn
// every 50 ms; a 0x05 from the client is answered by `probeAnswer`. Stop sends `last` and closes
// both sockets (the client reads the end of the connection); Start listens again on the same
// port, as `talk` says.
class ScaleServer {
  public:
    struct Talk {
        std::vector<std::string> lines = {};
        std::string first = {};
        std::string last = {};
        std::string probeAnswer = {};
    };

    explicit ScaleServer(Talk talk) { Start(std::move(talk)); }
    ~ScaleServer() { Stop(); }

    void Start(Talk talk) {
        m_talk = std::move(talk);
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address = Loopback(m_port);
        socklen_t size = sizeof address;
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(m_listen, 1) != 0)
            ADD_FAILURE() << "cannot listen on port " << m_port;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_stop = false;
        m_thread = std::thread([this] { Run(); });
    }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listen);
    }
    int Port() const { return m_port; }
    std::string Received() {
        const std::lock_guard hold(m_lock);
        return m_received;
    }
    bool WaitForReceived(const std::string& text) {
        std::unique_lock hold(m_lock);
        return m_arrived.wait_for(hold, kPatience, [&] { return Holds(m_received, text); });
    }

  private:
    void Run() {
        int client = -1;
        std::size_t next = 0;
        while (!m_stop) {
            pollfd p{client < 0 ? m_listen : client, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && client < 0) {
                client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                Send(client, m_talk.first);
                continue;
            }
            if (client < 0)
                continue;
            if (p.revents & POLLIN)
                Heard(client);
            Send(client, m_talk.lines[next++ % m_talk.lines.size()]);
        }
        if (client >= 0) {
            Send(client, m_talk.last);
            ::close(client);
        }
    }
    void Heard(int client) {
        char buffer[256];
        const ssize_t n = ::recv(client, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0)
            return;
        const std::string got(buffer, static_cast<std::size_t>(n));
        {
            const std::lock_guard hold(m_lock);
            m_received += got;
        }
        m_arrived.notify_all();
        if (!m_talk.probeAnswer.empty() && Holds(got, "\x05"))
            Send(client, m_talk.probeAnswer);
    }
    static void Send(int client, const std::string& bytes) {
        if (!bytes.empty())
            ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    Talk m_talk;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::string m_received;
};

std::string Text(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string TcpUrl(const ScaleServer& server) {
    return "tcp://127.0.0.1:" + std::to_string(server.Port());
}

// Waits until something listens on `port` of loopback.
bool WaitForListener(int port) {
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = Loopback(port);
        const bool listening =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (listening)
            return true;
        ::poll(nullptr, 0, 50);
    }
    return false;
}

TEST(WireRead, EachFamilyOverTcpByNameAndFoundByDetection) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string line;
        const char* found;  // said on standard error
        const char* reading;
    };
    const Case cases[] = {
        {"sics by name",
         {"--protocol", "sics"},
         "S S     100.00 g\r\n",
         ": sics at",
         R"("text":"100.00","value":100.00,"unit":"g")"},
        {"ohaus found",
         {"--protocol", "auto"},
         "     -1.234 kg ? NET\r\n",
         ": ohaus at",
         R"("text":"-1.234","value":-1.234,"unit":"kg")"},
        {"and, its parity bit on the wire, found",
         {"--protocol", "auto"},
         "\xd3\xd4,+00012.34  g\r\n",
         ": and at",
         R"("text":"12.34","value":12.34,"unit":"g")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScaleServer server({.lines = {c.line}});
        std::vector<std::string> argv = {ReaderPath(), "--port", TcpUrl(server), "--count", "1"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Child reader(argv);
        const auto line = reader.ReadLine();
        ASSERT_TRUE(line) << reader.Errors();
        EXPECT_TRUE(Holds(*line, c.reading)) << *line;
        EXPECT_TRUE(Holds(*line, R"("port":")" + TcpUrl(server) + "\"")) << *line;
        EXPECT_EQ(reader.Wait(), 0);
        EXPECT_TRUE(Holds(reader.Errors(), TcpUrl(server) + c.found)) << reader.Errors();
    }
}

TEST(WireRead, TheDescribedFramesAnswerTheProbeOverTheSocket) {
    const std::string frame =
        Text(testing_support::ScaleFrame({0, 0x04, 0x01, 0, 0, 0, 0, 0, 0x3F}));
    ScaleServer server({.lines = {frame}, .probeAnswer = "\x06\xAA"});
    Child reader({ReaderPath(), "--port", TcpUrl(server), "--count", "1"});
    const auto line = reader.ReadLine();
    ASSERT_TRUE(line) << reader.Errors();
    EXPECT_TRUE(Holds(*line, R"("frame":")")) << *line;
    EXPECT_EQ(reader.Wait(), 0);
    EXPECT_TRUE(Holds(server.Received(), "\x05"));
    EXPECT_FALSE(Holds(reader.Errors(), "no answer to the probe")) << reader.Errors();
}

// Reads lines until one holds `wanted`; false when one holds `never` first, or none came.
bool ReadUntil(Child& reader, const std::string& wanted, const std::string& never) {
    while (const auto line = reader.ReadLine()) {
        EXPECT_FALSE(Holds(*line, never)) << *line;
        if (Holds(*line, never))
            return false;
        if (Holds(*line, wanted))
            return true;
    }
    return false;
}

// The connection ends in the middle of a line, and the first bytes after the gap end one: no
// reading may be made of the two ("123.00").
TEST(WireRead, AServerGoneAndBackIsLostAndBackWithNothingMadeUp) {
    ScaleServer server({.lines = {"S S     100.00 g\r\n"}, .last = "S S     12"});
    Child reader(
        {ReaderPath(), "--port", TcpUrl(server), "--protocol", "sics", "--capture", "every"});
    ASSERT_TRUE(ReadUntil(reader, "\"100.00\"", "123.00")) << reader.Errors();
    server.Stop();
    ASSERT_TRUE(reader.WaitForError("went away (the far end closed the connection)"))
        << reader.Errors();
    server.Start({.lines = {"S S     200.00 g\r\n"}, .first = "3.00 g\r\n"});
    ASSERT_TRUE(reader.WaitForError(TcpUrl(server) + ": back; reading again")) << reader.Errors();
    EXPECT_TRUE(ReadUntil(reader, "\"200.00\"", "123.00")) << reader.Errors();
}

// ser2net in front of a peer on a pseudo-terminal, its own setting 9600; Restart kills it and
// starts another on the same port.
class Ser2net {
  public:
    explicit Ser2net(const testing_support::FamilyPeer& peer) : m_port(FreePort()) {
        const std::string config =
            WriteIn(m_dir, "ser2net.yaml",
                    "connection: &scale\n  accepter: telnet(rfc2217),tcp,127.0.0.1," +
                        std::to_string(m_port) + "\n  connector: serialdev," + peer.DevicePath() +
                        ",9600n81,local\n  options:\n    kickolduser: true\n");
        const std::string program =
            std::filesystem::exists("/usr/sbin/ser2net") ? "/usr/sbin/ser2net" : "ser2net";
        m_argv = {program, "-n", "-u", "-c", config, "-P", m_dir.Path().string() + "/pid"};
        m_process = std::make_unique<Child>(m_argv);
    }
    void Restart() {
        m_process->Signal(SIGKILL);
        m_process->Wait();
        m_process = std::make_unique<Child>(m_argv);
    }
    std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(m_port); }
    int Port() const { return m_port; }

  private:
    TempDir m_dir;
    int m_port;
    std::vector<std::string> m_argv;
    std::unique_ptr<Child> m_process;
};

bool SetTo(const testing_support::FamilyPeer& peer, unsigned baud) {
    const std::vector<unsigned> speeds = peer.Speeds();
    return std::find(speeds.begin(), speeds.end(), baud) != speeds.end();
}

// The peer talks only at 4800, so every reading proves the speed was set from here, again after
// ser2net was killed and started anew.
TEST(WireRead, Rfc2217SetsTheFarPortsLineThroughSer2netAndFollowsItsRestart) {
    testing_support::FamilyPeer peer({4800, {"S S     100.00 g\r\n"}, {}, {}});
    Ser2net server(peer);
    ASSERT_TRUE(WaitForListener(server.Port()));
    Child reader({ReaderPath(), "--port", server.Url(), "--protocol", "sics", "--line", "4800,8N1",
                  "--capture", "every"});
    ASSERT_TRUE(ReadUntil(reader, "\"100.00\"", "\"error\"")) << reader.Errors();
    EXPECT_TRUE(SetTo(peer, 4800));
    EXPECT_TRUE(Holds(reader.Errors(), server.Url() + ": sics at 4800 8N1")) << reader.Errors();

    server.Restart();
    ASSERT_TRUE(reader.WaitForError("went away")) << reader.Errors();
    const std::size_t lost = reader.Errors().size();
    ASSERT_TRUE(reader.WaitForError(server.Url() + ": back; reading again", kPatience, lost))
        << reader.Errors();
    EXPECT_TRUE(ReadUntil(reader, "\"100.00\"", "\"error\"")) << reader.Errors();
}

// Detection listens at 9600 first, then 4800, each set on the far port over one connection.
TEST(WireRead, DetectionOverRfc2217SetsEachSpeedItListensAt) {
    testing_support::FamilyPeer peer({4800, {"S S     100.00 g\r\n"}, {}, {}});
    Ser2net server(peer);
    ASSERT_TRUE(WaitForListener(server.Port()));
    Child reader({ReaderPath(), "--port", server.Url(), "--protocol", "auto", "--count", "1"});
    const auto line = reader.ReadLine();
    ASSERT_TRUE(line) << reader.Errors();
    EXPECT_TRUE(Holds(*line, R"("value":100.00)")) << *line;
    EXPECT_EQ(reader.Wait(), 0);
    EXPECT_TRUE(Holds(reader.Errors(), server.Url() + ": sics at 4800 8N1")) << reader.Errors();
    EXPECT_TRUE(SetTo(peer, 4800));
}

TEST(WireRead, KeysGoOverEachWireAsTheFamilysCommands) {
    ScaleServer server({.lines = {"S S     100.00 g\r\n"}});
    Child overTcp({ReaderPath(), "--port", TcpUrl(server), "--protocol", "sics", "--keys"});
    ASSERT_TRUE(overTcp.ReadLine()) << overTcp.Errors();
    overTcp.Write("TARE\n");
    EXPECT_TRUE(server.WaitForReceived("T\r\n")) << server.Received();

    testing_support::FamilyPeer peer({4800, {"S S     100.00 g\r\n"}, {}, {}});
    Ser2net ser2net(peer);
    ASSERT_TRUE(WaitForListener(ser2net.Port()));
    Child overTelnet({ReaderPath(), "--port", ser2net.Url(), "--protocol", "sics", "--line",
                      "4800,8N1", "--keys"});
    ASSERT_TRUE(overTelnet.ReadLine()) << overTelnet.Errors();
    overTelnet.Write("ZERO\n");
    EXPECT_TRUE(peer.WaitForReceived("Z\r\n")) << peer.Received();
}

TEST(WireRead, AWireWrittenWrongIsAUsageErrorAndOneThatCannotBeReachedSaysWhy) {
    const std::string closed = "tcp://127.0.0.1:" + std::to_string(FreePort());
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string said;
    };
    const Case cases[] = {
        {{"--port", "tcp://127.0.0.1"}, 2, "no port"},
        {{"--port", "udp://127.0.0.1:4001", "--protocol", "sics"}, 2, "unknown scheme 'udp'"},
        {{"--port", closed, "--protocol", "sics"}, 1, "Connection refused"},
        {{"--port", closed}, 1, "Connection refused"},
        {{"--port", "rfc2217://no-such-host.invalid:2217", "--protocol", "auto"},
         1,
         "unknown host no-such-host.invalid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        std::vector<std::string> argv = {ReaderPath()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Child reader(argv);
        EXPECT_EQ(reader.Wait(), c.exit);
        EXPECT_TRUE(Holds(reader.Errors(), c.said)) << reader.Errors();
    }
}

// The simulator on a TCP port: its family found, and its frames read after the probe.
TEST(WireRead, TheSimulatorServesEachOfItsScalesOnATcpPort) {
    struct Case {
        std::vector<std::string> simulator;
        std::vector<std::string> reader;
        const char* said;
    };
    const Case cases[] = {
        {{"--protocol", "sics"}, {"--protocol", "auto"}, ": sics at 9600 8N1"},
        {{}, {}, "reading tcp://"},
    };
    for (const Case& c : cases) {
        const std::string port = std::to_string(FreePort());
        std::vector<std::string> simArgs = {KARVEL_SCALESIM_PATH, "--listen", "tcp:" + port};
        simArgs.insert(simArgs.end(), c.simulator.begin(), c.simulator.end());
        Child simulator(simArgs);
        ASSERT_EQ(simulator.ReadLine(), "COM1 tcp://127.0.0.1:" + port) << simulator.Errors();
        ASSERT_EQ(simulator.ReadLine(), "ready");
        std::vector<std::string> readArgs = {ReaderPath(), "--port", "tcp://127.0.0.1:" + port,
                                             "--count", "1"};
        readArgs.insert(readArgs.end(), c.reader.begin(), c.reader.end());
        Child reader(readArgs);
        const auto line = reader.ReadLine();
        ASSERT_TRUE(line) << reader.Errors();
        EXPECT_TRUE(Holds(*line, R"("value":)")) << *line;
        EXPECT_EQ(reader.Wait(), 0);
        EXPECT_TRUE(Holds(reader.Errors(), c.said)) << reader.Errors();
        EXPECT_FALSE(Holds(reader.Errors(), "no answer to the probe")) << reader.Errors();
    }
}

}  // namespace
}  // namespace readtest
