#include "link/WireOptions.h"

#include <utility>
#include <vector>

#include "link/HidScale.h"
#include "platform/net/WireAddress.h"

namespace scale_link {

using cli::Refuse;
using scale::families::FamilyOptions;

bool NamesOwnWire(std::string_view port) {
    return NamesModbusPort(port) || NamesHidPort(port);
}

void AddModbusOption(cli::OptionTable& table, std::optional<ModbusMap>& map, std::string* text) {
    table.Add({.name = "--modbus",
               .value = "MAP",
               .help = "with a Modbus --port: where the transmitter keeps its weight, a comma list "
                       "of id=N (unit id, default 1), weight=ADDRESS (0-based, decimal or 0x; "
                       "required), table=holding|input, type=int16|uint16|int32|uint32|float32 "
                       "(default int32), order=abcd|cdab|badc|dcba, decimals=N (integers), "
                       "unit=U, motion=ADDRESS.BIT (set while the weight moves; without it no "
                       "reading is stable), tare=ADDRESS:VALUE and zero=ADDRESS:VALUE (register "
                       "writes for those keys), poll=MS (default 100)",
               .apply =
                   [&map, text](std::optional<std::string_view> value) {
                       auto parsed = ParseModbusMap(*value);
                       if (!parsed)
                           return Refuse("--modbus: " + parsed.Error().text);
                       map = std::move(parsed).Value();
                       if (text)
                           *text = std::string(*value);
                       return posix::Success();
                   },
               .programs = cli::kBoth});
}

posix::Status CheckModbusPort(const std::string& port, const std::optional<ModbusMap>& map,
                              const FamilyOptions& family, bool raw) {
    if (!NamesModbusPort(port)) {
        if (map)
            return Refuse(
                "--modbus goes with --port modbus-tcp://HOST[:PORT] or modbus-rtu:COMn|PATH");
        return posix::Success();
    }
    const auto parsed = ParseModbusPort(port);
    if (!parsed)
        return Refuse("--port " + parsed.Error().text);
    if (!map)
        return Refuse("--port " + port +
                      " is a Modbus transmitter: say where its weight is with --modbus "
                      "weight=ADDRESS,...");
    if (family.Enabled() || !family.pattern.empty())
        return Refuse("a Modbus transmitter is read by its --modbus map: no --protocol");
    if (raw)
        return Refuse(
            "--raw prints the bytes of a scale's line: it does not go with a Modbus port");
    if (family.line && parsed->tcp)
        return Refuse("--line sets a serial line: it goes with modbus-rtu:, not modbus-tcp://");
    return posix::Success();
}

posix::Status CheckHidPort(std::string_view port, const FamilyOptions& family, bool raw) {
    if (!NamesHidPort(port))
        return posix::Success();
    if (family.Enabled() || !family.pattern.empty())
        return Refuse(
            "a USB HID scale is read by its report descriptor: no --protocol or --pattern");
    if (family.line)
        return Refuse("--line sets a serial line: it does not go with a USB HID scale");
    if (raw)
        return Refuse(
            "--raw prints the bytes of a scale's line: it does not go with a USB HID scale");
    return posix::Success();
}

posix::Status CheckNetworkPort(std::string_view port) {
    if (net::NamesWire(port) && !NamesModbusPort(port)) {
        if (const auto wire = net::ParseWire(port); !wire)
            return Refuse("--port " + wire.Error().text);
    }
    return posix::Success();
}

FamilyOptions FamilyBeside(const FamilyOptions& family, const std::optional<ModbusMap>& map) {
    FamilyOptions beside = family;
    if (map)
        beside.line.reset();
    return beside;
}

posix::Result<PortChoice> ReadPortChoice(std::string_view port, std::string_view modbus,
                                         const FamilyOptions& family) {
    PortChoice choice;
    cli::OptionTable table(cli::kBoth);
    scale::families::AddPortOption(table, choice.port, {}, NamesOwnWire);
    AddModbusOption(table, choice.modbus, &choice.modbusText);
    std::vector<std::string_view> args = {"--port", port};
    if (!modbus.empty())
        args.insert(args.end(), {"--modbus", modbus});
    posix::Status status = table.Parse(args);
    if (status)
        status = CheckModbusPort(choice.port, choice.modbus, family, false);
    if (status)
        status = CheckHidPort(choice.port, family, false);
    if (status)
        status = CheckNetworkPort(choice.port);
    if (!status)
        return status.Error();
    return choice;
}

}  // namespace scale_link
