// A scale on the network that stops answering (its packets dropped, not refused) while the link
// opens it again: the link's thread keeps its event loop all the while, and the scale is read
// again once it answers.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QSocketNotifier>
#include <QTimer>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "link/FamilyLink.h"
#include "platform/posix/UniqueFd.h"
#include "scale/families/Family.h"
#include "tests/support/PumpUntil.h"

namespace linktest {
namespace {

constexpr auto kGenerous = std::chrono::seconds(30);
const std::string kLine = "     -1.234 kg ? NET\r\n";  // an Ohaus scale's, streamed

// Listens on loopback at `port` (0: any), with `backlog`.
posix::UniqueFd Listen(int port, int backlog) {
    posix::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int on = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.Get(), backlog) != 0)
        return {};
    return fd;
}

int PortOf(int fd) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

// A connection to `port` that completes in the kernel, never accepted.
posix::UniqueFd Connected(int port) {
    posix::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return {};
    return fd;
}

// A connect to `port` on loopback is waiting for its SYN's answer (SYN_SENT in the kernel's
// table).
bool ConnectPending(int port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (state == "02" && remote.size() > 5 &&
            std::stoi(remote.substr(remote.size() - 4), nullptr, 16) == port)
            return true;
    }
    return false;
}

class DroppedScale : public testing::Test {
  protected:
    DroppedScale() : m_server(Listen(0, 4)), m_port(PortOf(m_server.Get())) {
        scale_link::SourceEvents events;
        events.reading = [this](const scale::Frame&) { ++m_readings; };
        events.say = [this](const std::string& line) { m_said += line + "\n"; };
        scale_link::FamilyLink::Choice choice;
        choice.family = scale::families::Find("ohaus");
        m_link = std::make_unique<scale_link::FamilyLink>(m_ports, std::move(events), choice,
                                                          scale_link::FamilyLink::Waits{}, nullptr,
                                                          "link_test");
    }

    // The link finds the scale at its address and reads it.
    bool Found() {
        bool found = false;
        m_link->FindLater(m_ports.Choose(Url()),
                          [&](const posix::Result<int>& port) { found = port.Ok(); });
        return Serve() && testing_support::PumpUntil([&] { return found; }, kGenerous);
    }
    std::string Url() const { return "tcp://127.0.0.1:" + std::to_string(m_port); }

    // Accepts the link's connection and sends it readings; true once it reads them.
    bool Serve() {
        const int before = m_readings;
        // Wakes the loop when the connection comes.
        const QSocketNotifier knock(m_server.Get(), QSocketNotifier::Read);
        const bool accepted = testing_support::PumpUntil(
            [this] {
                m_client = posix::UniqueFd(::accept4(m_server.Get(), nullptr, nullptr, 0));
                return static_cast<bool>(m_client);
            },
            kGenerous);
        if (!accepted)
            return false;
        const std::string lines = kLine + kLine + kLine;
        return ::write(m_client.Get(), lines.data(), lines.size()) ==
                   static_cast<ssize_t>(lines.size()) &&
               testing_support::PumpUntil([&] { return m_readings > before; }, kGenerous);
    }

    // The scale goes, and its port answers no connect from then on; true once the link is
    // dialling it again.
    bool DropAndBlackhole() {
        m_client = {};
        m_server = {};
        m_server = Listen(m_port, 0);
        m_filler = Connected(m_port);
        if (!m_server || !m_filler)
            return false;
        // Looked at from a timer of the link's own thread: it fires while the connect waits.
        bool seen = false;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, [&] { seen = seen || ConnectPending(m_port); });
        look.start(10);
        return testing_support::PumpUntil([&] { return seen; }, kGenerous);
    }

    void Comeback() {
        m_filler = {};
        m_server = {};
        m_server = Listen(m_port, 4);
    }

    serial_port::PortMap m_ports{"", [] { return std::vector<serial_port::SerialDevice>{}; }};
    posix::UniqueFd m_server;
    const int m_port;
    posix::UniqueFd m_client;
    posix::UniqueFd m_filler;  // fills the backlog of 0: later connects get no answer
    int m_readings = 0;
    std::string m_said;
    std::unique_ptr<scale_link::FamilyLink> m_link;
};

TEST_F(DroppedScale, TheLinksThreadRunsWhileItDialsAndReadsAgainWhenTheScaleAnswers) {
    ASSERT_TRUE(Found()) << m_said;
    ASSERT_TRUE(DropAndBlackhole()) << m_said;
    EXPECT_NE(m_said.find("the device went away"), std::string::npos) << m_said;
    EXPECT_EQ(m_said.find("back; reading again"), std::string::npos) << m_said;

    Comeback();
    ASSERT_TRUE(Serve()) << m_said;
    EXPECT_NE(m_said.find(Url() + ": back; reading again"), std::string::npos) << m_said;
}

// The thread that dials is stopped and waited for: nothing of the dial outlives the link.
TEST_F(DroppedScale, ALinkThatGoesWhileItDialsLeavesNoConnectBehind) {
    ASSERT_TRUE(Found()) << m_said;
    ASSERT_TRUE(DropAndBlackhole()) << m_said;
    m_link.reset();
    EXPECT_FALSE(ConnectPending(m_port));
}

}  // namespace
}  // namespace linktest
