// Which COM number a lost device has when it is back, and how often it is tried again.

#include <gtest/gtest.h>

#include <vector>

#include "link/DeviceFollower.h"
#include "tests/support/PumpUntil.h"

namespace linktest {
namespace {

using serial_port::SerialDevice;

SerialDevice Usb(const char* node, const char* byId) {
    SerialDevice d;
    d.node = node;
    d.name = std::string(node).substr(5);
    d.usb = true;
    d.byId = byId;
    return d;
}

TEST(DeviceFollower, FindsTheSameDeviceByItsIdentityElseByItsPath) {
    const SerialDevice scale = Usb("/dev/ttyUSB0", "usb-FTDI_scale-if00");
    const SerialDevice plain = Usb("/dev/ttyUSB0", "");
    const SerialDevice other = Usb("/dev/ttyUSB7", "usb-other-if00");
    struct Case {
        const char* name;
        std::vector<SerialDevice> before;
        std::vector<SerialDevice> after;
        int portNow;
    };
    const Case cases[] = {
        {"back under another path and number",
         {scale},
         {other, Usb("/dev/ttyUSB3", scale.byId.c_str())},
         2},
        {"without an identity, the same path", {plain}, {other, plain}, 2},
        {"another device on its old path is not it",
         {scale},
         {Usb("/dev/ttyUSB0", "usb-new-if00")},
         0},
        {"away", {scale}, {other}, 0},
    };
    for (const Case& c : cases) {
        std::vector<SerialDevice> present = c.before;
        const serial_port::PortMap ports({}, [&present] { return present; });
        scale_link::DeviceFollower follower(ports, [] {});
        follower.Opened(1, c.before[0].node);
        EXPECT_EQ(follower.Current().byId, c.before[0].byId) << c.name;
        follower.Lost(1);
        ASSERT_TRUE(follower.Following()) << c.name;
        present = c.after;
        EXPECT_EQ(follower.PortNow(), c.portNow) << c.name;
        follower.Forget();
        EXPECT_EQ(follower.PortNow(), 0) << c.name;
    }
}

TEST(DeviceFollower, OnlyThePortOpenedLastIsFollowed) {
    const std::vector<SerialDevice> present = {Usb("/dev/ttyUSB0", ""), Usb("/dev/ttyUSB1", "")};
    const serial_port::PortMap ports({}, [&present] { return present; });
    scale_link::DeviceFollower follower(ports, [] {});
    follower.Opened(2, "/dev/ttyUSB1");
    follower.Lost(1);
    EXPECT_FALSE(follower.Following());
}

TEST(DeviceFollower, RetriesTenTimesInAllOneSecondApartUntilTheTriesAreReset) {
    const serial_port::PortMap ports({}, [] { return std::vector<SerialDevice>{}; });
    int retries = 0;
    scale_link::DeviceFollower follower(ports, [&retries] { ++retries; });
    ASSERT_TRUE(follower.OpenFailed());
    EXPECT_TRUE(testing_support::PumpUntil([&] { return retries == 1; }));
    for (int tries = 2; tries < scale_link::kReconnectTries; ++tries)
        EXPECT_TRUE(follower.OpenFailed()) << tries;
    EXPECT_FALSE(follower.OpenFailed());
    follower.ResetTries();
    EXPECT_TRUE(follower.OpenFailed());
    follower.Forget();  // and its retry with it
}

}  // namespace
}  // namespace linktest
