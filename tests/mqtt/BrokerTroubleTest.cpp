// The panel shows what keeps the broker from taking readings in the tooltips of its status line
// and lamp, beside what the log has to say, and takes it away once the broker is back.

#include "app/BrokerTrouble.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <chrono>
#include <memory>

#include "app/TroubleTip.h"
#include "mqtt/MqttPublisher.h"
#include "tests/read/ReadTestSupport.h"
#include "tests/support/PumpUntil.h"

namespace {

constexpr auto kPatience = std::chrono::seconds(60);

TEST(BrokerTrouble, ShownInBothTooltipsBesideTheLogsAndGoneWhenTheBrokerIsBack) {
    QLabel statusLine, lamp;
    SetTroubleLine(statusLine, "log", "cannot write the log: No space left on device");
    BrokerTrouble trouble;
    trouble.ShowOn(statusLine, lamp);

    readtest::Broker broker;  // not started yet: its port refuses
    mqtt::MqttOptions options;
    options.url = broker.Url();
    options.host = "127.0.0.1";
    options.port = broker.Port();
    mqtt::MqttPublisher::Hooks hooks;
    hooks.trouble = [&trouble](const std::string& text) { trouble.Tell(text); };
    mqtt::MqttPublisher publisher(options, "s1", std::move(hooks));
    std::string error;
    ASSERT_TRUE(publisher.Start(&error)) << error;

    const QString where = QStringLiteral("127.0.0.1:%1").arg(broker.Port());
    ASSERT_TRUE(
        testing_support::PumpUntil([&] { return lamp.toolTip().contains(where); }, kPatience));
    EXPECT_TRUE(lamp.toolTip().startsWith("mqtt: cannot reach the broker at " + where))
        << lamp.toolTip().toStdString();
    EXPECT_EQ(statusLine.toolTip(),
              "cannot write the log: No space left on device\n" + lamp.toolTip());

    ASSERT_TRUE(broker.Start());
    EXPECT_TRUE(testing_support::PumpUntil([&] { return lamp.toolTip().isEmpty(); }, kPatience));
    EXPECT_EQ(statusLine.toolTip(), "cannot write the log: No space left on device");
    publisher.Stop(std::chrono::milliseconds(0));
}

}  // namespace
