// --protocol auto on eight ports at once: the lowest port with a scale is kept whatever the
// others do, each family is found among silent and noisy ports, nothing but the probe and the
// families' queries reaches any port, and detection on its way stops with its link.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/FamilyLink.h"
#include "platform/serial/SerialPort.h"
#include "scale/families/Family.h"
#include "tests/support/PumpUntil.h"
#include "tools/peers/FamilyPeer.h"
#include "tools/peers/PortDirectory.h"

namespace linktest {
namespace {

using testing_support::FamilyPeer;
using namespace std::chrono_literals;

// Detection hears every silent port out: five speeds and ten queries, on a busy machine.
constexpr auto kDetection = std::chrono::seconds(120);

FamilyPeer::Talk Silent() {
    return {};
}
FamilyPeer::Talk Noisy() {
    FamilyPeer::Talk talk;
    talk.noise = true;
    return talk;
}
FamilyPeer::Talk Streams(unsigned baud, std::string line) {
    return {baud, {std::move(line)}, 50ms, {}};
}
FamilyPeer::Talk Answers(unsigned baud, std::string query, std::string answer) {
    return {baud, {}, {}, {{std::move(query), std::move(answer)}}};
}

struct PortOf {
    const char* family;  // null: no scale
    FamilyPeer::Talk talk;
};

// What detection and reading may send to any port: the probe and each family's query, whole.
bool OnlyProbesAndQueries(std::string received) {
    std::vector<std::string> allowed = {std::string(1, static_cast<char>(scale::kProbe))};
    for (const scale::families::Family& family : scale::families::All()) {
        if (!family.query.empty())
            allowed.push_back(family.query);
    }
    while (!received.empty()) {
        const auto sent = std::find_if(allowed.begin(), allowed.end(), [&](const std::string& a) {
            return received.starts_with(a);
        });
        if (sent == allowed.end())
            return false;
        received.erase(0, sent->size());
    }
    return true;
}

class EightPorts : public testing::Test {
  protected:
    void Connect(const std::vector<PortOf>& layout) {
        for (const PortOf& port : layout) {
            m_peers.push_back(std::make_unique<FamilyPeer>(port.talk));
            m_ports.Map(static_cast<unsigned>(m_peers.size()), m_peers.back()->DevicePath());
        }
    }
    std::unique_ptr<scale_link::FamilyLink> MakeLink() {
        scale_link::SourceEvents events;
        events.reading = [this](const scale::Frame& frame) { m_readings.push_back(frame); };
        events.say = [this](const std::string& line) { m_said += line + "\n"; };
        return std::make_unique<scale_link::FamilyLink>(*m_ports.Ports(), std::move(events),
                                                        scale_link::FamilyLink::Choice{}, nullptr,
                                                        "link_detect_test");
    }
    void ExpectOnlyProbesAndQueries() {
        for (std::size_t i = 0; i < m_peers.size(); ++i)
            EXPECT_TRUE(OnlyProbesAndQueries(m_peers[i]->Received()))
                << "COM" << i + 1 << " received: " << m_peers[i]->Received();
    }

    // Declared in this order so that links let their ports go before the peers go.
    testing_support::PortDirectory m_ports;
    std::vector<std::unique_ptr<FamilyPeer>> m_peers;
    std::vector<scale::Frame> m_readings;
    std::string m_said;
};

// Each round looks at every port left; the lowest scale is kept, read, and its port taken away
// for the next round, until only the silent and the noisy port are left.
TEST_F(EightPorts, EachFamilyIsFoundAmongSilentAndNoisyPortsWithNothingButQueriesSent) {
    const std::vector<PortOf> layout = {
        {nullptr, Silent()},
        {"sics", Answers(9600, "SI\r\n", "S S     100.00 g\r\n")},
        {nullptr, Noisy()},
        {"and", Streams(2400, "\xd3\xd4,+00012.34  g\r\n")},
        {"sbi", Answers(1200, "\x1bP", "-     0.05    \r\n")},
        {"ohaus", Streams(4800, "     -1.234 kg ? NET\r\n")},
        {"toledo", Streams(19200, std::string("\x02,0 001234000000\r"))},
        {"indicator", Answers(2400, "READ\r\n", "ST,GS,+0012.34kg\r\n")},
    };
    Connect(layout);
    for (std::size_t n = 0; n < layout.size(); ++n) {
        if (!layout[n].family)
            continue;
        SCOPED_TRACE(layout[n].family);
        const int port = static_cast<int>(n + 1);
        m_readings.clear();
        auto link = MakeLink();
        const posix::Result<int> found = link->Find(0);
        ASSERT_TRUE(found) << found.Error().text << "\n" << m_said;
        EXPECT_EQ(*found, port);
        EXPECT_EQ(link->FamilyFound()->name, layout[n].family);
        EXPECT_TRUE(testing_support::PumpUntil([&] { return !m_readings.empty(); }, kDetection));
        link.reset();
        m_ports.Unmap(static_cast<unsigned>(port));
    }
    const posix::Result<int> none = MakeLink()->Find(0);
    EXPECT_FALSE(none);
    EXPECT_NE(m_said.find("COM1: silent ("), std::string::npos) << m_said;
    EXPECT_NE(m_said.find("COM3: unreadable ("), std::string::npos) << m_said;
    ExpectOnlyProbesAndQueries();
}

// A balance slower to answer than the next query is to go still has its answer read as its own
// family's, whatever the families asked after it make of that answer.
TEST_F(EightPorts, AnAnswerThatComesAfterLaterQueriesIsItsOwnFamilys) {
    const std::vector<PortOf> late = {
        {"sics", Answers(9600, "SI\r\n", "S S     100.00 g\r\n")},
        {"ohaus", Answers(9600, "IP\r\n", "     12.34 g\r\n")},
        {"indicator", Answers(2400, "READ\r\n", "ST,GS,+0012.34kg\r\n")},
        {"sbi", Answers(9600, "\x1bP", "-     0.05    \r\n")},
    };
    for (PortOf port : late) {
        SCOPED_TRACE(port.family);
        port.talk.answerAfter = 250ms;
        Connect({port});
        const unsigned number = static_cast<unsigned>(m_peers.size());
        auto link = MakeLink();
        const posix::Result<int> found = link->Find(0);
        ASSERT_TRUE(found) << found.Error().text << "\n" << m_said;
        EXPECT_EQ(*found, static_cast<int>(number));
        EXPECT_EQ(link->FamilyFound()->name, port.family);
        link.reset();
        m_ports.Unmap(number);
    }
    ExpectOnlyProbesAndQueries();
}

// The event loop runs on while the ports are looked at, and the scale behind seven silent
// ports and a noisy one is told to it.
TEST_F(EightPorts, DetectionLeavesTheEventLoopFreeAndTellsTheScaleFound) {
    std::vector<PortOf> layout(7, PortOf{nullptr, Silent()});
    layout[0] = {nullptr, Noisy()};
    layout.push_back({"cas", Streams(9600, "ST,GS,1@,  12.340 kg\r\n")});
    Connect(layout);
    auto link = MakeLink();
    std::optional<posix::Result<int>> found;
    link->FindLater(0, [&](posix::Result<int> port) { found = std::move(port); });
    EXPECT_FALSE(found.has_value());
    ASSERT_TRUE(testing_support::PumpUntil([&] { return found.has_value(); }, kDetection));
    ASSERT_TRUE(*found) << found->Error().text << "\n" << m_said;
    EXPECT_EQ(**found, 8);
    EXPECT_EQ(link->FamilyFound()->name, "cas");
    EXPECT_TRUE(testing_support::PumpUntil([&] { return !m_readings.empty(); }, kDetection));
    ExpectOnlyProbesAndQueries();
}

// A link that goes while it looks takes its detection with it: no answer comes, and every port
// is free for the next program at once.
TEST_F(EightPorts, ALinkThatGoesWhileItLooksStopsLookingAndLetsEveryPortGo) {
    Connect(std::vector<PortOf>(8, PortOf{nullptr, Silent()}));
    auto link = MakeLink();
    bool told = false;
    link->FindLater(0, [&](const posix::Result<int>&) { told = true; });
    // The ports are looked at on threads of their own: the loop wakes to see how far they are.
    QTimer tick;
    tick.start(10);
    ASSERT_TRUE(testing_support::PumpUntil(
        [&] {
            return std::all_of(m_peers.begin(), m_peers.end(),
                               [](const auto& peer) { return !peer->Received().empty(); });
        },
        kDetection));
    link.reset();
    for (const auto& peer : m_peers) {
        serial_port::PortError error;
        EXPECT_TRUE(serial_port::SerialPort::Open(peer->DevicePath(), &error).has_value())
            << peer->DevicePath() << ": " << error.Describe();
    }
    // Whatever was still on its way to the event loop is dropped with the link.
    QCoreApplication::processEvents();
    EXPECT_FALSE(told);
    ExpectOnlyProbesAndQueries();
}

}  // namespace
}  // namespace linktest
