// Device events in storms: the devices are looked at off the UI thread, once per burst.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "link/PortWatcher.h"
#include "platform/window/Inbox.h"
#include "tests/support/FakeDevices.h"
#include "tests/support/PumpUntil.h"

namespace apptest {
namespace {

using testing_support::FakeDevices;
using testing_support::PumpUntil;

serial_port::SerialDevice Adapter(int n) {
    serial_port::SerialDevice d;
    d.node = "/dev/ttyUSB" + std::to_string(n);
    d.name = "ttyUSB" + std::to_string(n);
    d.usb = true;
    return d;
}

TEST(PortWatcher, EventsDuringALookAreSeenByOneMoreLookAndTheUiThreadNeverWaits) {
    FakeDevices devices;
    scale_link::PortWatcher::Sources sources = devices.Sources();
    const std::thread::id ui = std::this_thread::get_id();
    std::mutex lock;
    std::condition_variable released;
    bool hold = false;
    std::atomic<int> looks{0};
    std::atomic<bool> lookedOnUiThread{false};
    window::Inbox wake;
    sources.enumerate = [&, inner = sources.enumerate] {
        lookedOnUiThread = lookedOnUiThread || std::this_thread::get_id() == ui;
        ++looks;
        // Wakes the UI thread's loop, which waits for the look to begin; through the inbox, whose
        // lock the thread checker sees (Qt's event queue it does not).
        wake.Post([] {});
        std::unique_lock<std::mutex> held(lock);
        released.wait_for(held, std::chrono::seconds(10), [&] { return !hold; });
        return inner();
    };
    serial_port::PortMap map;
    scale_link::PortWatcher watcher(map, sources);
    watcher.Start();
    int changes = 0;
    QObject::connect(&watcher, &scale_link::PortWatcher::portsChanged, [&] { ++changes; });
    // The first look, at start, is the program's own start-up.
    looks = 0;
    lookedOnUiThread = false;

    hold = true;
    devices.Plug(Adapter(0));
    ASSERT_TRUE(PumpUntil([&] { return looks == 1; }));
    // The look is held; events keep coming one by one and the UI thread takes each.
    for (int n = 1; n <= 30; ++n) {
        if (n % 3 == 0)
            devices.Unplug(Adapter(n - 1).node);
        else
            devices.Plug(Adapter(n));
        ASSERT_TRUE(PumpUntil([&] { return devices.PendingEvents() == 0; })) << n << " " << looks;
    }
    EXPECT_EQ(changes, 0);
    {
        std::lock_guard<std::mutex> held(lock);
        hold = false;
    }
    released.notify_all();
    ASSERT_TRUE(PumpUntil([&] { return changes == 2; })) << changes << " " << looks;
    EXPECT_EQ(looks, 2);
    EXPECT_FALSE(lookedOnUiThread);
    EXPECT_EQ(map.List().size(), 11u);  // 21 plugged, 10 of them unplugged again
}

}  // namespace
}  // namespace apptest
