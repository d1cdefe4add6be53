#include "link/OwnWire.h"

#include <utility>

#include "link/HidScale.h"
#include "link/HidSource.h"
#include "link/ModbusSource.h"
#include "platform/net/WireAddress.h"

namespace scale_link {

hid::HidrawRoots HidRootsOf(const posix::Environment& environment) {
    return {environment.hidSys.empty() ? "/sys" : environment.hidSys,
            environment.hidDev.empty() ? "/dev" : environment.hidDev};
}

std::unique_ptr<Source> MakeOwnWireSource(const OwnWire& wire, const serial_port::PortMap& ports,
                                          const hid::HidrawRoots& hid, SourceEvents events) {
    if (!wire.modbus)
        return std::make_unique<HidSource>(wire.port, hid, std::move(events));
    ModbusSource::Place place;
    place.port = *ParseModbusPort(wire.port);
    place.name = wire.port;
    // The device of an RTU line is its path; a connection has none but its address.
    place.device = place.port.tcp
                       ? wire.port
                       : ports.ResolveName(place.port.serial).value_or(place.port.serial);
    if (wire.line)
        place.line = *wire.line;
    return std::make_unique<ModbusSource>(std::move(place), *wire.modbus, std::move(events));
}

std::string WireKind(std::string_view port) {
    if (NamesModbusPort(port))
        return "a Modbus transmitter";
    if (NamesHidPort(port))
        return "a USB HID scale";
    if (net::NamesWire(port))
        return "a network wire";
    return {};
}

}  // namespace scale_link
