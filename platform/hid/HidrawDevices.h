#pragma once

// The kernel's raw HID devices, as sysfs lists them: each /sys/class/hidraw/hidrawN with its
// device node, its report descriptor and the name the device gives itself. The roots are handed
// down (a test points them at folders of its own). Plain C++; any thread.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/Result.h"

namespace hid {

struct HidrawRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
};

struct HidrawDevice {
    std::string name;  // "hidraw0"
    std::string node;  // "/dev/hidraw0"
    std::vector<std::uint8_t> descriptor;
    std::string product;  // HID_NAME from its uevent; empty when it gives none
};

// Every device whose report descriptor can be read, in the order of their numbers.
std::vector<HidrawDevice> ListHidraw(const HidrawRoots& roots);
// The device behind `node` (its file name is its sysfs name), or why its descriptor cannot be
// read.
posix::Result<HidrawDevice> HidrawAt(const HidrawRoots& roots, const std::string& node);

}  // namespace hid
