#pragma once

// The baud rates the terminal driver knows, and their driver codes.

#include <optional>

namespace serial_port {

bool IsKnownBaudRate(unsigned baud);
// The driver's speed code for `baud` (a speed_t value), or nullopt for an unknown rate.
std::optional<unsigned> SpeedCodeOf(unsigned baud);
// The baud rate of a driver speed code, or nullopt.
std::optional<unsigned> BaudOfSpeedCode(unsigned code);

}  // namespace serial_port
