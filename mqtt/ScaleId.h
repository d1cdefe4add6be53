#pragma once

// The name a scale gets when the user gives none: the device's lasting by-id name, else the host
// and the COM number, with every character an id may not hold made '_'.

#include <string>

namespace mqtt {

std::string DefaultScaleId(const std::string& byIdName, const std::string& host, int port);
// The same for a port the user calls `portName` ("COM2", or a device path: its last part).
std::string DefaultScaleId(const std::string& byIdName, const std::string& host,
                           const std::string& portName);

}  // namespace mqtt
