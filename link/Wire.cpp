#include "link/Wire.h"

#include <optional>

#include "link/NetworkWire.h"
#include "platform/net/WireAddress.h"

namespace scale_link {
namespace {

class SerialWire final : public Wire {
  public:
    explicit SerialWire(serial_port::SerialPort port) : m_port(std::move(port)) {}

    int WaitDescriptor() const override { return m_port.WaitDescriptor(); }
    serial_port::IoResult ReadAvailable(std::span<std::uint8_t> into) override {
        return m_port.ReadAvailable(into);
    }
    serial_port::IoResult WriteAvailable(std::span<const std::uint8_t> bytes) override {
        return m_port.WriteAvailable(bytes);
    }
    serial_port::IoResult Write(std::span<const std::uint8_t> bytes) override {
        return m_port.Write(bytes);
    }
    serial_port::PortError Restart(const scale::LineSettings& line) override {
        serial_port::LineState state;
        serial_port::PortError error = m_port.ReadLineState(state);
        if (error.Failed())
            return error;
        state.baud = static_cast<unsigned>(line.baud);
        state.parity = static_cast<serial_port::Parity>(line.parity);
        state.dataBits = line.dataBits;
        state.stopBits =
            line.stopBits == 2 ? serial_port::StopBits::kTwo : serial_port::StopBits::kOne;
        state.rtsControl = serial_port::RtsControl::kEnable;
        error = m_port.ApplyLineState(state);
        return error.Failed() ? error : m_port.Purge();
    }

  private:
    serial_port::SerialPort m_port;
};

WireOpener& Opener() {
    static WireOpener opener;
    return opener;
}

}  // namespace

void UseWireOpener(WireOpener opener) {
    Opener() = std::move(opener);
}

std::unique_ptr<Wire> OpenWire(const std::string& device, const scale::LineSettings& line,
                               serial_port::PortError* error) {
    if (const WireOpener& opener = Opener())
        return opener(device, line, error);
    return OpenDeviceWire(device, line, error);
}

std::unique_ptr<Wire> OpenDeviceWire(const std::string& device, const scale::LineSettings& line,
                                     serial_port::PortError* error) {
    if (net::NamesWire(device))
        return OpenNetworkWire(device, line, error);
    auto port = serial_port::SerialPort::Open(device, error);
    if (!port)
        return nullptr;
    auto wire = std::make_unique<SerialWire>(std::move(*port));
    if (*error = wire->Restart(line); error->Failed())
        return nullptr;
    return wire;
}

}  // namespace scale_link
