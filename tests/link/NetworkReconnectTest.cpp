// A scale on the network that stops answering (its packets dropped, not refused) while the link
// opens it again: the link's thread keeps its event loop all the while, and the scale is read
// again once it answers; a Modbus bus ended mid-connect does not wait for it.

#include <unistd.h>

#include <gtest/gtest.h>

#include <QSocketNotifier>
#include <QTimer>

#include <future>
#include <memory>
#include <optional>
#include <string>

#include "link/FamilyLink.h"
#include "link/ModbusSource.h"
#include "platform/modbus/Bus.h"
#include "scale/families/Family.h"
#include "tests/link/Blackhole.h"
#include "tests/support/PumpUntil.h"

namespace linktest {
namespace {

constexpr auto kGenerous = std::chrono::seconds(30);
const std::string kLine = "     -1.234 kg ? NET\r\n";  // an Ohaus scale's, streamed

// Looked at from a timer of the link's own thread: true once it fired while a connect to
// `port` waited for its answer.
bool SeenDialling(int port) {
    bool seen = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] { seen = seen || ConnectPending(port); });
    look.start(10);
    return testing_support::PumpUntil([&] { return seen; }, kGenerous);
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
        return SeenDialling(m_port);
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

TEST(ModbusFind, ATransmitterThatDoesNotAnswerIsLookedForWithoutHoldingTheThread) {
    const posix::UniqueFd server = Listen(0, 0);
    const int port = PortOf(server.Get());
    const posix::UniqueFd filler = Connected(port);
    ASSERT_TRUE(filler);
    scale_link::ModbusSource::Place place;
    place.port = {true, "127.0.0.1", static_cast<std::uint16_t>(port), {}};
    place.name = "modbus-tcp://127.0.0.1:" + std::to_string(port);
    scale_link::ModbusSource source(place, scale_link::ModbusMap{}, {});
    std::optional<posix::Result<int>> found;
    source.FindLater(0, [&](posix::Result<int> outcome) { found = std::move(outcome); });
    ASSERT_TRUE(SeenDialling(port));
    ASSERT_TRUE(testing_support::PumpUntil([&] { return found.has_value(); }, kGenerous));
    ASSERT_FALSE(found->Ok());
    EXPECT_NE(found->Error().Describe().find(place.name), std::string::npos)
        << found->Error().Describe();
}

TEST(ModbusBus, ABusEndedWhileItConnectsDoesNotWaitForTheConnect) {
    const posix::UniqueFd server = Listen(0, 0);
    const int port = PortOf(server.Get());
    const posix::UniqueFd filler = Connected(port);
    ASSERT_TRUE(filler);
    // A bound far beyond the test's own wait: only the bus's end can cut this connect short.
    auto bus = std::make_unique<modbus::Bus>([port] {
        return modbus::Connection::Tcp("127.0.0.1", static_cast<std::uint16_t>(port),
                                       std::chrono::minutes(2));
    });
    bus->Submit([](modbus::Connection&) { return posix::Success(); }, [](const posix::Status&) {});
    ASSERT_TRUE(SeenDialling(port));
    auto ended = std::async(std::launch::async, [&bus] { bus.reset(); });
    EXPECT_EQ(ended.wait_for(kGenerous), std::future_status::ready);
}

}  // namespace
}  // namespace linktest
