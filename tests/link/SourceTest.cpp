// The one reconnect policy every Source follows, and the described scale's key names.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "link/Reconnect.h"
#include "link/ScaleLink.h"
#include "scale/KeyNames.h"
#include "tests/support/PumpUntil.h"
#include "tools/peers/PortDirectory.h"

namespace linktest {
namespace {

using serial_port::SerialDevice;

// A port map over one device, and a policy whose openings are counted.
class ReconnectPolicy : public testing::Test {
  protected:
    ReconnectPolicy() {
        SerialDevice scale;
        scale.node = "/dev/ttyUSB0";
        scale.name = "ttyUSB0";
        m_present = {scale};
        m_follower.Opened(1, scale.node);
    }

    scale_link::Reconnect::Hooks Hooks() {
        scale_link::Reconnect::Hooks hooks;
        hooks.ready = [this] { return m_ready; };
        hooks.open = [this](int) -> posix::Status {
            ++m_opens;
            if (m_opens <= m_failures)
                return posix::SystemError::FromErrno(EBUSY);
            return posix::Success();
        };
        hooks.dial = [this](int) { return m_dial && ++m_dials > 0; };
        hooks.back = [this](int port) { m_back.push_back(port); };
        hooks.reading = [] { return false; };
        hooks.say = [this](const std::string& text) { m_said.push_back(text); };
        hooks.named = [] { return std::string("COM1 (/dev/ttyUSB0)"); };
        return hooks;
    }

    std::vector<SerialDevice> m_present;
    const serial_port::PortMap m_ports{{}, [this] { return m_present; }};
    scale_link::DeviceFollower m_follower{m_ports, [this] { m_reconnect.Try(); }};
    scale_link::Reconnect m_reconnect{m_follower, Hooks()};
    bool m_ready = true;
    int m_failures = 0;  // openings that fail before one succeeds
    int m_opens = 0;
    bool m_dial = false;  // openings are dialled, and end when the test says
    int m_dials = 0;
    std::vector<int> m_back;
    std::vector<std::string> m_said;
};

const char kGivenUp[] =
    "COM1 is back but cannot be opened (Device or resource busy); waiting for the next change "
    "of the ports";

// Lost is called from inside the port's own read: nothing is opened before that read returns.
TEST_F(ReconnectPolicy, ALostDeviceThatIsBackIsOpenedFromTheEventLoopOnce) {
    m_reconnect.Lost(1, "hung up");
    EXPECT_EQ(m_opens, 0);
    ASSERT_TRUE(testing_support::PumpUntil([this] { return !m_back.empty(); }));
    EXPECT_EQ(m_back, std::vector<int>{1});
    EXPECT_FALSE(m_follower.Following());
    const std::vector<std::string> said = {
        "COM1 (/dev/ttyUSB0): the device went away (hung up); waiting for it to come back",
        "COM1 (/dev/ttyUSB0): back; reading again"};
    EXPECT_EQ(m_said, said);
    m_reconnect.PortsChanged();
    EXPECT_EQ(m_opens, 1);
}

TEST_F(ReconnectPolicy, NothingIsOpenedWhileTheOwnerIsNotReadyNorWhileTheDeviceIsAway) {
    m_ready = false;
    m_reconnect.Lost(1, "hung up");
    m_reconnect.PortsChanged();
    m_ready = true;
    m_present.clear();
    m_reconnect.PortsChanged();
    EXPECT_EQ(m_opens, 0);
    EXPECT_TRUE(m_follower.Following());
}

// A dial (a connection opened off the thread) is the only opening while it is under way, and
// what it ends in is an opening's outcome.
TEST_F(ReconnectPolicy, ADialUnderWayIsTheOnlyOpeningAndEndsAsAnOpeningDoes) {
    m_dial = true;
    m_reconnect.Lost(1, "hung up");
    ASSERT_TRUE(testing_support::PumpUntil([this] { return m_dials == 1; }));
    m_reconnect.PortsChanged();
    m_reconnect.Try();
    EXPECT_EQ(m_dials, 1);

    m_reconnect.Dialled(1, posix::SystemError::FromErrno(ETIMEDOUT));
    EXPECT_EQ(m_opens, 0);
    EXPECT_TRUE(m_follower.Following());
    m_reconnect.PortsChanged();
    EXPECT_EQ(m_dials, 2);

    m_reconnect.Dialled(1, posix::Success());
    EXPECT_EQ(m_opens, 1);
    EXPECT_EQ(m_back, std::vector<int>{1});
    EXPECT_FALSE(m_follower.Following());
}

TEST_F(ReconnectPolicy, AnOpeningThatKeepsFailingIsGivenUpOnceUntilThePortsChange) {
    m_failures = scale_link::kReconnectTries;
    m_reconnect.Lost(1, "hung up");
    ASSERT_TRUE(testing_support::PumpUntil([this] { return m_said.back() == kGivenUp; },
                                           std::chrono::seconds(60)));
    EXPECT_EQ(m_opens, scale_link::kReconnectTries);
    EXPECT_EQ(m_said.size(), 2u);
    EXPECT_TRUE(m_back.empty());
    m_reconnect.PortsChanged();
    EXPECT_EQ(m_back, std::vector<int>{1});
}

// The described scale's keys are named as the broker and the web page name them.
TEST(DescribedKeys, AreNamedAsTheBrokerNamesThem) {
    testing_support::PortDirectory folder;
    scale_link::ScaleLink link(*folder.Ports(), {}, "test");
    const char* lines[] = {
        "DATA", " TARE\r",      "ON/OFF double", "MODE\t double ", "data",
        "Tare", "ZERO",         "PRINT",         "DATA twice",     "DATA double x",
        "",     "DATA\rdouble", "ON/OFF  double"};
    for (const char* line : lines) {
        const auto byte = scale::KeyByte(line);
        const auto named = link.KeyNamed(line);
        ASSERT_EQ(named.has_value(), byte.has_value()) << line;
        if (byte) {
            EXPECT_EQ(named, scale_link::KeyOfPanelByte(*byte)) << line;
        }
    }
}

}  // namespace
}  // namespace linktest
