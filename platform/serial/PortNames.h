#pragma once

// COM port numbers and the devices they stand for.
//
// When the environment variable KARVEL_PORT_DIR is set, COMn is the entry named COMn in that
// directory (a link to a device or pseudo-terminal, or a device node) and no other port exists.
// Otherwise the serial devices present are numbered COM1, COM2, ... in a stable order: USB
// adapters (ttyUSB, ttyACM) first by device name, then on-board ports that really exist.

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
};

// Device path of COMn; nullopt when there is no such port (always for 0 and above 32).
std::optional<std::string> ResolvePort(unsigned n);
// The number n of a port name "COMn" or "\\.\COMn" (1..32, no leading zeros); nullopt else.
std::optional<unsigned> PortNumberOf(std::string_view name);
// Device path of a port name as above.
std::optional<std::string> ResolvePortName(std::string_view name);
// Every port that exists now, by number.
std::vector<PortInfo> ListPorts();
// One line for the user: "COM1  /dev/ttyUSB0  FTDI FT232R USB UART (0403:6001)".
std::string PortLine(const PortInfo& port);

}  // namespace serial_port
