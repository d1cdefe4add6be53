#pragma once

// COM port names and what a port is: the numbers 1 to 32, the two forms of a name, and one
// port's facts. Which device a number stands for is PortMap's answer.

#include <optional>
#include <string>
#include <string_view>

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

inline bool IsPortNumber(unsigned n) {
    return n >= kFirstPortNumber && n <= kLastPortNumber;
}

// "COM5": the number's name, whatever device it stands for (PortMap::NameOf gives the name the
// user knows it by).
std::string PortName(int n);

// The number n of a port name: "COMn" for 1..9, "\\.\COMn" for 10..32 (no leading zeros);
// nullopt for anything else, the other form included.
std::optional<unsigned> PortNumberOf(std::string_view name);

// The n of "COMn" as a user writes it: 1 to 32, no leading zeros, in either form ("COM12" or
// "\\.\COM12"); nullopt else.
std::optional<unsigned> ComNumberOf(std::string_view name);

// One line for the user: "COM1  /dev/ttyUSB0  FTDI FT232R USB UART (0403:6001)".
std::string PortLine(const PortInfo& port);

}  // namespace serial_port
