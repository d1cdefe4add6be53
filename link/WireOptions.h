#pragma once

// What both programs take and check about a scale on a wire of its own (a Modbus transmitter, a
// USB HID scale): --modbus MAP, and which --port goes with which other option, in one wording.
// The same reads a port a user types where the panel asks for one. Plain C++.

#include <optional>
#include <string>
#include <string_view>

#include "link/ModbusMap.h"
#include "platform/cli/OptionTable.h"
#include "platform/posix/Result.h"
#include "scale/families/FamilyOptions.h"

namespace scale_link {

// A Modbus port or a HID scale: --port keeps it as written, for the checks below to judge.
bool NamesOwnWire(std::string_view port);

// --modbus MAP; `text`, when given, keeps MAP as it was written.
void AddModbusOption(cli::OptionTable& table, std::optional<ModbusMap>& map,
                     std::string* text = nullptr);

// A Modbus port and its map come together, and nothing that reads a scale's bytes goes with them
// (`raw`: karvel-read's --raw).
posix::Status CheckModbusPort(const std::string& port, const std::optional<ModbusMap>& map,
                              const scale::families::FamilyOptions& family, bool raw);
// A HID scale says what its reports mean: nothing that reads a line goes with it.
posix::Status CheckHidPort(std::string_view port, const scale::families::FamilyOptions& family,
                           bool raw);
// A network wire (tcp://, rfc2217://) written right; anything else passes.
posix::Status CheckNetworkPort(std::string_view port);
// The family options as they are checked beside `map`: a Modbus line's --line is its own.
scale::families::FamilyOptions FamilyBeside(const scale::families::FamilyOptions& family,
                                            const std::optional<ModbusMap>& map);

// A port as a user types it where the panel asks for one, and the map of a Modbus one.
struct PortChoice {
    std::string port;  // COMn in upper case, else as written
    std::optional<ModbusMap> modbus;
    std::string modbusText;  // the map as it was written
};
// Read as `--port PORT [--modbus MAP]` (MAP empty: not given) beside `family` would be, and
// refused in the same words.
posix::Result<PortChoice> ReadPortChoice(std::string_view port, std::string_view modbus,
                                         const scale::families::FamilyOptions& family);

}  // namespace scale_link
