#pragma once

// A port the user named on the command line. COMn is taken as it is; a device path gets the COM
// number of the port it already is, or else the lowest number that no port has, and from then on
// stands for that number (also with KARVEL_PORT_DIR).

#include <optional>
#include <string>
#include <string_view>

#include "platform/serial/PortNames.h"

namespace serial_port {

// The n of "COMn" as a user writes it: 1 to 32, no leading zeros, in either form ("COM12" or
// "\\.\COM12"); nullopt else.
std::optional<unsigned> ComNumberOf(std::string_view name);

// The COM number `name` (a port name "COMn" or a device path) is opened as; 0 when it is
// neither. Thread: the UI thread, before the ports are listed.
unsigned ChoosePort(const std::string& name);

// The device path given a number by ChoosePort, when there is one.
std::optional<PortInfo> ChosenDevice();

// Forgets the chosen device (for tests).
void ForgetChosenPort();

}  // namespace serial_port
