// The panel's mirror says in the retained state while the port is lost.

#include "mqtt/MqttMirror.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scale/Glyphs.h"
#include "tests/read/CountFrame.h"
#include "tests/read/ReadTestSupport.h"

namespace {

TEST(MqttMirror, TheStateSaysWhileThePortIsLost) {
    readtest::Broker broker;
    ASSERT_TRUE(broker.Start());
    readtest::Subscriber subscriber(broker.Port(), "plant/+/state");
    mqtt::MqttOptions options;
    options.url = broker.Url();
    options.host = "127.0.0.1";
    options.port = broker.Port();
    options.prefix = "plant";
    mqtt::MqttMirror mirror(
        options, [](int) { return std::string(); }, [](const std::string&) {});
    const auto port = [&mirror](scale::PortState::Change change) {
        mirror.OnPortState({change, 1, "/dev/ttyS0"});
    };
    const auto states = [&subscriber](std::size_t count) {
        return subscriber.WaitFor([count](const auto& all) { return all.size() >= count; });
    };
    port(scale::PortState::Change::kOpened);
    scale::FrameBytes bytes{0x06, 0xAA};  // 7 kg, stable: the sign, unit and last digit slots
    bytes[4] = scale::kSignStable;
    bytes[5] = 0x01;
    bytes[11] = scale::kDigitShapes[7];
    mirror.OnFrame(scale::StampFrame(bytes));
    ASSERT_TRUE(states(1));
    port(scale::PortState::Change::kLost);
    ASSERT_TRUE(states(2));
    port(scale::PortState::Change::kOpened);
    ASSERT_TRUE(states(3));

    std::vector<std::string> all;
    for (const readtest::Message& message : subscriber.Messages())
        all.push_back(message.payload);
    ASSERT_EQ(all.size(), 3u);
    const std::string lost = all[0].substr(0, all[0].size() - 1) + ",\"port_lost\":true}";
    EXPECT_EQ(std::vector<std::string>({all[0], lost, all[0]}), all);
    EXPECT_EQ(readtest::ValueOf(all[0]), 7);
}

}  // namespace
