// A scale on the network as the device follower keeps it: always there to be tried, never
// given up, and lost at once after it came back it waits its back-off.

#include <gtest/gtest.h>

#include "link/DeviceFollower.h"

namespace linktest {
namespace {

TEST(NetworkFollower, AConnectionIsTriedForAsLongAsItTakesAndALostOneWaits) {
    const std::string url = "tcp://127.0.0.1:4001";
    serial_port::PortMap ports("", [] { return std::vector<serial_port::SerialDevice>{}; });
    const int port = static_cast<int>(ports.Choose(url));
    scale_link::DeviceFollower follower(ports, [] {});
    follower.Opened(port, url);
    EXPECT_FALSE(follower.Postponed());
    follower.Lost(port);
    EXPECT_EQ(follower.PortNow(), port);
    // Lost as soon as it was made: not tried again at once, even when the ports change.
    follower.ResetTries();
    EXPECT_TRUE(follower.Postponed());
    for (int tries = 0; tries < 3 * scale_link::kReconnectTries; ++tries)
        ASSERT_TRUE(follower.OpenFailed()) << tries;
    follower.Forget();
    EXPECT_FALSE(follower.Following());
}

TEST(NetworkFollower, ALocalDeviceIsStillGivenUpAfterItsTries) {
    serial_port::SerialDevice device;
    device.node = "/dev/ttyUSB0";
    device.name = "ttyUSB0";
    serial_port::PortMap ports("", [device] { return std::vector{device}; });
    scale_link::DeviceFollower follower(ports, [] {});
    follower.Opened(1, device.node);
    follower.Lost(1);
    EXPECT_FALSE(follower.Postponed());
    int tries = 1;
    while (follower.OpenFailed())
        ++tries;
    EXPECT_EQ(tries, scale_link::kReconnectTries);
}

}  // namespace
}  // namespace linktest
