// COM numbers that stay with their devices as devices come and go.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/serial/PortTable.h"

namespace {

using serial_port::SerialDevice;

SerialDevice Device(const std::string& node, const std::string& byId = {}) {
    SerialDevice d;
    d.node = node;
    d.name = node.substr(node.rfind('/') + 1);
    d.usb = true;
    d.byId = byId;
    return d;
}

TEST(PortTable, NumbersStayWithDevicesAndComeBackWithTheirIdentity) {
    std::vector<SerialDevice> present;
    serial_port::PortTable table([&] { return present; });
    auto numbers = [&] {
        std::string text;
        table.Refresh();
        for (const auto& p : table.Ports())
            text += "COM" + std::to_string(p.number) + "=" + p.device + " ";
        return text;
    };
    // One step each: what is plugged in, and the numbers then.
    struct Step {
        std::vector<SerialDevice> devices;
        const char* expected;
    };
    const SerialDevice a = Device("/dev/ttyUSB0", "/dev/serial/by-id/a");
    const SerialDevice b = Device("/dev/ttyUSB1");  // nothing that tells it again
    const SerialDevice c = Device("/dev/ttyUSB2", "/dev/serial/by-id/c");
    const SerialDevice aAgain = Device("/dev/ttyUSB7", "/dev/serial/by-id/a");
    const Step steps[] = {
        {{a, b, c}, "COM1=/dev/ttyUSB0 COM2=/dev/ttyUSB1 COM3=/dev/ttyUSB2 "},
        // a goes: its number is kept for it; b goes: its number is free again.
        {{c}, "COM3=/dev/ttyUSB2 "},
        {{c, Device("/dev/ttyACM0")}, "COM2=/dev/ttyACM0 COM3=/dev/ttyUSB2 "},
        {{c, Device("/dev/ttyACM0"), aAgain},
         "COM1=/dev/ttyUSB7 COM2=/dev/ttyACM0 COM3=/dev/ttyUSB2 "},
    };
    for (const Step& step : steps) {
        present = step.devices;
        EXPECT_EQ(numbers(), step.expected);
    }

    // When every number is taken, one kept for an absent device is given up.
    present.clear();
    for (int i = 0; i < 32; ++i)
        present.push_back(Device("/dev/ttyUSB" + std::to_string(100 + i),
                                 "/dev/serial/by-id/x" + std::to_string(i)));
    serial_port::PortTable full([&] { return present; });
    full.Refresh();
    present.erase(present.begin() + 4);  // COM5's device goes
    full.Refresh();
    present.push_back(Device("/dev/ttyUSB200"));
    full.Refresh();
    const auto ports = full.Ports();
    ASSERT_EQ(ports.size(), 32u);
    EXPECT_EQ(ports[4].number, 5u);
    EXPECT_EQ(ports[4].device, "/dev/ttyUSB200");
    EXPECT_EQ(ports[4].identity, "");
    EXPECT_EQ(ports[0].identity, "/dev/serial/by-id/x0");
}

}  // namespace
