#pragma once

// What a scale's bytes travel on, below the link that reads them (DirectPort): a local serial
// port, or a connection to a scale on the network (NetworkWire.h). The decoding, keys and
// reconnection above are the same for every wire; only opening, the line settings and the bytes
// themselves differ here.
//
// Thread: the thread that opened it.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/serial/PortError.h"
#include "platform/serial/SerialPort.h"
#include "scale/Protocol.h"

namespace scale_link {

class Wire {
  public:
    virtual ~Wire() = default;

    // Readable when bytes (or the end of the wire) have come.
    virtual int WaitDescriptor() const = 0;
    // What has come, up to `into`'s size, without waiting: 0 bytes when nothing has. A wire
    // that is gone reads as kDeviceGone.
    virtual serial_port::IoResult ReadAvailable(std::span<std::uint8_t> into) = 0;
    // What the wire takes now, without waiting: 0 bytes when it takes none.
    virtual serial_port::IoResult WriteAvailable(std::span<const std::uint8_t> bytes) = 0;
    // All of `bytes`, waiting a bounded time for room.
    virtual serial_port::IoResult Write(std::span<const std::uint8_t> bytes) = 0;
    // Reads at `line` from now on (where the wire has a line to set), throwing away what came
    // before.
    virtual serial_port::PortError Restart(const scale::LineSettings& line) = 0;
    // A wire that is kept open when it is asked for again at other settings (a connection),
    // rather than opened anew (a local device).
    virtual bool Lasting() const { return false; }
};

// Opens `device` (a device path, or a network wire as net::ParseWire reads it) at `line`; null
// with the reason in `error`. Through the program's opener when it set one.
std::unique_ptr<Wire> OpenWire(const std::string& device, const scale::LineSettings& line,
                               serial_port::PortError* error);
// The device itself, whatever opener is set.
std::unique_ptr<Wire> OpenDeviceWire(const std::string& device, const scale::LineSettings& line,
                                     serial_port::PortError* error);

// What a program opens its wires with when it wants more than the device (a tap that records
// each, a replay that stands in for the port): OpenWire asks it from then on; empty: the device.
// Thread: set before any wire is opened (detection opens them on threads of its own); the
// opener itself is called on any thread that opens.
using WireOpener = std::function<std::unique_ptr<Wire>(
    const std::string& device, const scale::LineSettings& line, serial_port::PortError* error)>;
void UseWireOpener(WireOpener opener);

}  // namespace scale_link
