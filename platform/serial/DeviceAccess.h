#pragma once

// Who may open a device, and who holds one: the facts behind advice to a user whose open was
// refused.

#include <optional>
#include <string>

namespace serial_port {

struct DeviceAccess {
    std::string device;  // the device node the path leads to
    std::string owner;   // user name, or the number when it has none
    std::string group;   // group name, or the number
    unsigned mode = 0;   // permission bits (0777)
    bool groupIsRoot = false;
    bool groupMayReadWrite = false;
    bool ownerMayReadWrite = false;
    // The user's account lists the group / this process runs with it (after a new login the two
    // agree).
    bool accountInGroup = false;
    bool processInGroup = false;
    // USB identity of the device, when udev knows one (for a rule that matches it).
    std::string usbVendor;
    std::string usbProduct;
};

// nullopt when the path cannot be looked at.
std::optional<DeviceAccess> ReadDeviceAccess(const std::string& path);

// The path with links followed where it exists, else as given.
std::string CanonicalPath(const std::string& path);

// A process that holds a device open.
struct DeviceHolder {
    int pid = 0;
    std::string program;  // its command name
    std::string user;     // who runs it
};

// Whoever holds `path` as far as this user can see: the device's lock in /proc/locks, a UUCP
// lock file, or an open descriptor among the processes this user may look into.
std::optional<DeviceHolder> FindDeviceHolder(const std::string& path);

}  // namespace serial_port
