#pragma once

// COM numbers that stay with their devices while the machine's devices come and go: a present
// device keeps its number; a device with an identity that udev keeps (its /dev/serial/by-id name
// or USB serial number) gets its old number back when it returns; a new device takes the lowest
// number that is neither in use nor kept for such a device. The first look numbers the devices
// in the order of FindSerialDevices, as a look without a table does.
//
// Thread: any; one lock guards the table.

#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/serial/PortNames.h"
#include "platform/serial/SerialDevices.h"

namespace serial_port {

using DeviceEnumerator = std::function<std::vector<SerialDevice>()>;

// What tells this device again after it was unplugged; empty when nothing does.
std::string DeviceIdentity(const SerialDevice& device);

class PortTable {
  public:
    using Enumerate = DeviceEnumerator;
    explicit PortTable(Enumerate enumerate = FindSerialDevices);

    // Looks at the devices again.
    void Refresh();
    // The present devices by number.
    std::vector<PortInfo> Ports() const;

  private:
    struct Entry {
        SerialDevice device;
        bool present = true;
    };
    Enumerate m_enumerate;
    mutable std::mutex m_lock;
    bool m_numbered = false;
    std::array<std::optional<Entry>, kLastPortNumber + 1> m_entries;  // [n] for COMn
};

}  // namespace serial_port
