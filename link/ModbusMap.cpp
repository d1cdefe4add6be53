#include "link/ModbusMap.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <set>

#include "platform/net/WireAddress.h"
#include "platform/serial/PortNames.h"

namespace scale_link {
namespace {

using posix::SystemError;

constexpr std::string_view kKeys =
    "id, weight, table, type, order, decimals, unit, motion, tare, zero and poll";
constexpr unsigned kMostDecimals = 9;
constexpr std::size_t kLongestUnit = 8;
constexpr std::chrono::milliseconds kFastestPoll{10};
constexpr std::chrono::milliseconds kSlowestPoll{60000};

SystemError Wrong(std::string_view key, std::string_view value, const std::string& why) {
    return SystemError::Because(std::string(key) + "=" + std::string(value) + ": " + why);
}

// A whole number, decimal or 0x hexadecimal, up to `most`.
std::optional<std::uint32_t> NumberIn(std::string_view text, std::uint32_t most) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || number > most)
        return std::nullopt;
    return static_cast<std::uint32_t>(number);
}

// A register address: a number from 0 to 65535.
posix::Result<std::uint16_t> AddressOf(std::string_view key, std::string_view whole,
                                       std::string_view text) {
    if (const auto address = NumberIn(text, 0xFFFF))
        return static_cast<std::uint16_t>(*address);
    if (NumberIn(text, 0xFFFFFFFF))
        return Wrong(key, whole, "an address over 65535");
    return Wrong(key, whole, "the address must be a number, decimal or 0x hexadecimal");
}

posix::Result<ModbusBit> BitOf(std::string_view key, std::string_view value) {
    const std::size_t dot = value.rfind('.');
    if (dot == std::string_view::npos)
        return Wrong(key, value, "give ADDRESS.BIT (0x1020.3)");
    const auto address = AddressOf(key, value, value.substr(0, dot));
    if (!address)
        return address.Error();
    const auto bit = NumberIn(value.substr(dot + 1), 15);
    if (!bit)
        return Wrong(
            key, value,
            NumberIn(value.substr(dot + 1), 0xFFFF) ? "a bit over 15" : "the bit must be 0 to 15");
    return ModbusBit{*address, *bit};
}

posix::Result<ModbusWrite> WriteOf(std::string_view key, std::string_view value) {
    const std::size_t colon = value.find(':');
    if (colon == std::string_view::npos)
        return Wrong(key, value, "give ADDRESS:VALUE, the register written and what");
    const auto address = AddressOf(key, value, value.substr(0, colon));
    if (!address)
        return address.Error();
    const auto written = NumberIn(value.substr(colon + 1), 0xFFFF);
    if (!written)
        return Wrong(key, value, "the value written must be a number from 0 to 65535");
    return ModbusWrite{*address, static_cast<std::uint16_t>(*written)};
}

posix::Status Unsigned(std::string_view key, std::string_view value, std::uint32_t least,
                       std::uint32_t most, std::uint32_t* into) {
    const auto number = NumberIn(value, 0xFFFFFFFF);
    if (!number || *number < least || *number > most)
        return Wrong(
            key, value,
            "must be a number from " + std::to_string(least) + " to " + std::to_string(most));
    *into = *number;
    return posix::Success();
}

posix::Status TakeUnit(std::string_view value, ModbusMap& map) {
    const bool printable = std::all_of(value.begin(), value.end(), [](char c) {
        return static_cast<unsigned char>(c) > ' ' && static_cast<unsigned char>(c) < 0x7F;
    });
    if (value.empty() || value.size() > kLongestUnit || !printable)
        return Wrong("unit", value, "a unit is 1 to 8 letters or signs (kg, lb, t)");
    map.unitName = std::string(value);
    return posix::Success();
}

template <typename T>
posix::Status Keep(posix::Result<T> parsed, std::optional<T>& into) {
    if (!parsed)
        return parsed.Error();
    into = *parsed;
    return posix::Success();
}

posix::Status TakeNamed(std::string_view key, std::string_view value, ModbusMap& map) {
    if (key == "table") {
        if (value != "holding" && value != "input")
            return Wrong(key, value, "the table is holding or input");
        map.inputTable = value == "input";
    } else if (key == "type") {
        const auto type = modbus::ValueTypeNamed(value);
        if (!type)
            return Wrong(key, value, "the type is int16, uint16, int32, uint32 or float32");
        map.type = *type;
    } else {
        const auto order = modbus::ByteOrderNamed(value);
        if (!order)
            return Wrong(key, value, "the order is abcd, cdab, badc or dcba");
        map.order = *order;
    }
    return posix::Success();
}

posix::Status TakeNumber(std::string_view key, std::string_view value, ModbusMap& map) {
    std::uint32_t number = 0;
    if (key == "weight") {
        const auto address = AddressOf(key, value, value);
        if (address)
            map.weight = *address;
        return address ? posix::Success() : posix::Status(address.Error());
    }
    if (key == "id") {
        const posix::Status taken = Unsigned(key, value, 0, 255, &number);
        map.unit = static_cast<int>(number);
        return taken;
    }
    if (key == "decimals") {
        const posix::Status taken = Unsigned(key, value, 0, kMostDecimals, &number);
        map.decimals = number;
        return taken;
    }
    const posix::Status taken =
        Unsigned(key, value, kFastestPoll.count(), kSlowestPoll.count(), &number);
    map.poll = std::chrono::milliseconds(number);
    return taken;
}

posix::Status Take(std::string_view key, std::string_view value, ModbusMap& map) {
    if (key == "weight" || key == "id" || key == "decimals" || key == "poll")
        return TakeNumber(key, value, map);
    if (key == "table" || key == "type" || key == "order")
        return TakeNamed(key, value, map);
    if (key == "unit")
        return TakeUnit(value, map);
    if (key == "motion")
        return Keep(BitOf(key, value), map.motion);
    if (key == "tare")
        return Keep(WriteOf(key, value), map.tare);
    if (key == "zero")
        return Keep(WriteOf(key, value), map.zero);
    return SystemError::Because("unknown key '" + std::string(key) + "'; the keys are " +
                                std::string(kKeys));
}

posix::Status CheckWhole(const ModbusMap& map, const std::set<std::string_view>& given) {
    if (!given.contains("weight"))
        return SystemError::Because("no weight=ADDRESS: the register the weight is read from");
    if (map.weight + modbus::RegistersOf(map.type) - 1 > 0xFFFF)
        return SystemError::Because("weight=" + std::to_string(map.weight) +
                                    ": its second register is over 65535");
    if (given.contains("decimals") && map.type == modbus::ValueType::kFloat32)
        return SystemError::Because("decimals= is for an integer type: a float32 has its point");
    return posix::Success();
}

constexpr std::string_view kTcpScheme = "modbus-tcp://";
constexpr std::string_view kRtuScheme = "modbus-rtu:";
constexpr std::string_view kPortForms = "give modbus-tcp://HOST[:PORT] or modbus-rtu:COMn|PATH";

posix::Result<ModbusPort> TcpPort(std::string_view text) {
    std::string rest(text.substr(kTcpScheme.size()));
    const std::size_t bracket = rest.rfind(']');
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos || (bracket != std::string::npos && colon < bracket))
        rest += ":502";
    const auto wire = net::ParseWire("tcp://" + rest);
    if (!wire)
        return SystemError::Because("'" + std::string(text) + "': " + kPortForms.data());
    return ModbusPort{true, wire->host, wire->port, {}};
}

}  // namespace

bool NamesModbusPort(std::string_view text) {
    return text.starts_with("modbus-");
}

posix::Result<ModbusPort> ParseModbusPort(std::string_view text) {
    if (text.starts_with(kTcpScheme))
        return TcpPort(text);
    if (text.starts_with(kRtuScheme)) {
        std::string serial(text.substr(kRtuScheme.size()));
        if (serial.find('/') == std::string::npos) {
            for (char& c : serial)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (!serial_port::ComNumberOf(serial))
                return SystemError::Because("'" + std::string(text) +
                                            "': the line is COM1 to COM32 or a device path");
        }
        return ModbusPort{false, {}, 0, serial};
    }
    return SystemError::Because("'" + std::string(text) + "': " + kPortForms.data());
}

posix::Result<ModbusMap> ParseModbusMap(std::string_view text) {
    ModbusMap map;
    std::set<std::string_view> given;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const std::size_t equals = item.find('=');
        if (item.empty() || equals == std::string_view::npos)
            return SystemError::Because("'" + std::string(item) + "': give KEY=VALUE, one of " +
                                        std::string(kKeys));
        const std::string_view key = item.substr(0, equals);
        if (posix::Status taken = Take(key, item.substr(equals + 1), map); !taken)
            return taken.Error();
        if (!given.insert(key).second)
            return SystemError::Because(std::string(key) + "= is given twice");
    }
    if (posix::Status whole = CheckWhole(map, given); !whole)
        return whole.Error();
    return map;
}

scale::Reading ModbusReading(const ModbusMap& map, std::span<const std::uint16_t> weight,
                             std::optional<std::uint16_t> status) {
    scale::Reading reading;
    reading.unit = map.unitName;
    if (const auto value = modbus::DecodeRegisters(weight, map.type, map.order, map.decimals)) {
        reading.text = value->exact;
        reading.number = scale::Number{value->exact, value->value};
    } else {
        reading.text = "----";
    }
    reading.indicators.stable = map.motion && status && (*status >> map.motion->bit & 1) == 0;
    return reading;
}

}  // namespace scale_link
