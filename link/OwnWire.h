#pragma once

// A scale on a wire of its own, which no family's bytes come over: a Modbus transmitter (read by
// its map) or a USB HID scale. Both programs make its Source here.
//
// Thread: the Source's (with a Qt event loop).

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/ModbusMap.h"
#include "link/Source.h"
#include "platform/hid/HidrawDevices.h"
#include "platform/posix/Environment.h"
#include "platform/serial/PortMap.h"
#include "scale/Protocol.h"

namespace scale_link {

struct OwnWire {
    std::string port;                         // as the user wrote it
    std::optional<ModbusMap> modbus;          // a Modbus port's map
    std::string modbusText;                   // that map as the user wrote it
    std::optional<scale::LineSettings> line;  // a Modbus RTU line's, when not its usual
};

// Where the raw HID devices are: KARVEL_HID_SYS and KARVEL_HID_DEV, else /sys and /dev.
hid::HidrawRoots HidRootsOf(const posix::Environment& environment);

// The Source that reads `wire`: a ModbusSource for a Modbus port (the serial device of an RTU
// line through `ports`), a HidSource for a HID scale.
std::unique_ptr<Source> MakeOwnWireSource(const OwnWire& wire, const serial_port::PortMap& ports,
                                          const hid::HidrawRoots& hid, SourceEvents events);

// What the user is told a wire is: "a network wire", "a Modbus transmitter", "a USB HID scale";
// empty for a local port.
std::string WireKind(std::string_view port);

}  // namespace scale_link
