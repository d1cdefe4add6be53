#pragma once

// Where a weight transmitter keeps what a scale reader needs, as the user writes it with
// --modbus: a comma list of KEY=VALUE (id, weight, table, type, order, decimals, unit,
// motion=ADDR.BIT, tare=ADDR:VALUE, zero=ADDR:VALUE, poll=MS), addresses 0-based as on the wire,
// decimal or 0x. And the reading one poll makes of the registers it read. Plain C++; any thread.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/modbus/RegisterValue.h"
#include "platform/posix/Result.h"
#include "scale/Reading.h"

namespace scale_link {

struct ModbusBit {
    std::uint16_t address = 0;
    unsigned bit = 0;  // 0..15

    bool operator==(const ModbusBit&) const = default;
};

struct ModbusWrite {
    std::uint16_t address = 0;
    std::uint16_t value = 0;

    bool operator==(const ModbusWrite&) const = default;
};

struct ModbusMap {
    int unit = 1;  // the unit id
    std::uint16_t weight = 0;
    bool inputTable = false;  // input registers (read only), else holding registers
    modbus::ValueType type = modbus::ValueType::kInt32;
    modbus::ByteOrder order = modbus::ByteOrder::kAbcd;
    unsigned decimals = 0;
    std::string unitName;             // "kg"; empty when not given
    std::optional<ModbusBit> motion;  // in the same table as the weight
    std::optional<ModbusWrite> tare;  // to a holding register
    std::optional<ModbusWrite> zero;
    std::chrono::milliseconds poll{100};

    bool operator==(const ModbusMap&) const = default;
};

// Where a transmitter is: modbus-tcp://HOST[:PORT] (port 502 unless given) or
// modbus-rtu:COMn|PATH, a serial line with its units.
struct ModbusPort {
    bool tcp = true;
    std::string host;  // without brackets
    std::uint16_t port = 502;
    std::string serial;  // COMn or a device path, as written

    bool operator==(const ModbusPort&) const = default;
};

// Whether `text` is written as a Modbus port at all, right or wrong.
bool NamesModbusPort(std::string_view text);
posix::Result<ModbusPort> ParseModbusPort(std::string_view text);

// The map `text` describes, or what is wrong with it (a key that does not exist, an address over
// 65535, a bit over 15, no weight, ...).
posix::Result<ModbusMap> ParseModbusMap(std::string_view text);

// The reading of one poll: the weight's registers and, when the map has a motion bit, the
// register that holds it. Stable only when the motion bit is known and clear; a float that is no
// number reads as no number.
scale::Reading ModbusReading(const ModbusMap& map, std::span<const std::uint16_t> weight,
                             std::optional<std::uint16_t> status);

}  // namespace scale_link
