#pragma once

// The machine's serial devices as the device manager reports them.

#include <string>
#include <vector>

namespace serial_port {

struct SerialDevice {
    std::string node;         // e.g. /dev/ttyUSB0
    std::string name;         // e.g. ttyUSB0
    std::string description;  // vendor and model, or what kind of on-board port
    bool usb = false;
    // A name udev keeps for this very device across plugging (its /dev/serial/by-id link), or
    // else its USB serial number; empty when udev knows neither.
    std::string byId;
    std::string serial;
};

// USB adapters first, then on-board ports; each group by device name in natural order
// (ttyUSB2 before ttyUSB10). On-board ports count only when a UART answers behind them.
std::vector<SerialDevice> FindSerialDevices();

// Whether `a` comes before `b` in the order above.
bool ComesBefore(const SerialDevice& a, const SerialDevice& b);

}  // namespace serial_port
