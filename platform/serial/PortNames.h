#pragma once

// COM port numbers and the devices they stand for.
//
// When the environment variable KARVEL_PORT_DIR is set, COMn is the entry named COMn in that
// directory (a link to a device or pseudo-terminal, or a device node) and no other port exists.
// Otherwise the serial devices present are numbered COM1, COM2, ... in a stable order: USB
// adapters (ttyUSB, ttyACM) first by device name, then on-board ports that really exist.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace serial_port {

inline constexpr unsigned kFirstPortNumber = 1;
inline constexpr unsigned kLastPortNumber = 32;

struct PortInfo {
    unsigned number = 0;      // n of COMn
    std::string device;       // path to open
    std::string description;  // what the device is, for the user
    std::string byId;         // the device's /dev/serial/by-id name, when udev gives one
    // What stays the same when this device is plugged in again (its by-id name or USB serial
    // number); empty when nothing does, and then only its device path tells it again.
    std::string identity;
};

// Device path of COMn; nullopt when there is no such port (always for 0 and above 32).
std::optional<std::string> ResolvePort(unsigned n);
// The number n of a port name: "COMn" for 1..9, "\\.\COMn" for 10..32 (no leading zeros);
// nullopt for anything else, the other form included.
std::optional<unsigned> PortNumberOf(std::string_view name);
// Device path of a port name as above.
std::optional<std::string> ResolvePortName(std::string_view name);
// Every port that exists now, by number.
std::vector<PortInfo> ListPorts();
// While a snapshot lives (on any thread), the machine's devices are enumerated once, when a
// port is first resolved or listed, and that list answers every later question: a scan of
// every number asks the device manager once, not once per number. A port folder
// (KARVEL_PORT_DIR) is always looked at as it is now.
class PortSnapshot {
  public:
    PortSnapshot();
    ~PortSnapshot();
    PortSnapshot(const PortSnapshot&) = delete;
    PortSnapshot& operator=(const PortSnapshot&) = delete;
};
// How often the machine's devices have been enumerated (diagnostics).
std::uint64_t DeviceEnumerations();

// One line for the user: "COM1  /dev/ttyUSB0  FTDI FT232R USB UART (0403:6001)".
std::string PortLine(const PortInfo& port);

}  // namespace serial_port
