// A transmitter's registers and what a user writes for one. The first byte chooses: even, the
// rest are registers, each decoded in every type and order (with the byte after it as decimals);
// odd, the rest is a --modbus map and a Modbus port as text. A value's text is a plain decimal
// whose number is the value; the same bytes put in another order read as the same value; a map
// that is taken keeps every address, bit and bound it promises.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "link/ModbusMap.h"
#include "platform/modbus/RegisterValue.h"

namespace {

using modbus::ByteOrder;
using modbus::ValueType;

constexpr ValueType kTypes[] = {ValueType::kInt16, ValueType::kUint16, ValueType::kInt32,
                                ValueType::kUint32, ValueType::kFloat32};
constexpr ByteOrder kOrders[] = {ByteOrder::kAbcd, ByteOrder::kCdab, ByteOrder::kBadc,
                                 ByteOrder::kDcba};

void CheckText(const modbus::DecodedValue& value) {
    const std::string& text = value.exact;
    FUZZ_CHECK(!text.empty() && text.find_first_not_of("-0123456789.") == std::string::npos,
               "a value's text is no plain decimal");
    FUZZ_CHECK(text.find('.') == text.rfind('.'), "two points in a value's text");
    double number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    FUZZ_CHECK(error == std::errc() && end == text.data() + text.size() && number == value.value,
               "a value's text and number disagree");
}

// The wire registers that hold the big-endian bytes a..d in `order`.
std::vector<std::uint16_t> InOrder(std::uint16_t high, std::uint16_t low, ByteOrder order) {
    const auto swap = [](std::uint16_t w) { return static_cast<std::uint16_t>(w << 8 | w >> 8); };
    switch (order) {
        case ByteOrder::kAbcd:
            break;
        case ByteOrder::kCdab:
            return {low, high};
        case ByteOrder::kBadc:
            return {swap(high), swap(low)};
        case ByteOrder::kDcba:
            return {swap(low), swap(high)};
    }
    return {high, low};
}

void Registers(std::span<const std::uint8_t> bytes) {
    for (std::size_t at = 0; at + 4 < bytes.size(); at += 5) {
        const auto high = static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
        const auto low = static_cast<std::uint16_t>(bytes[at + 2] << 8 | bytes[at + 3]);
        const unsigned decimals = bytes[at + 4] % 10;
        for (const ValueType type : kTypes) {
            const unsigned used = type == ValueType::kFloat32 ? 0 : decimals;
            const auto big = modbus::DecodeRegisters(InOrder(high, low, ByteOrder::kAbcd), type,
                                                     ByteOrder::kAbcd, used);
            if (big)
                CheckText(*big);
            if (modbus::RegistersOf(type) == 1)
                continue;
            for (const ByteOrder order : kOrders) {
                const auto other =
                    modbus::DecodeRegisters(InOrder(high, low, order), type, order, used);
                FUZZ_CHECK(
                    big.has_value() == other.has_value() && (!big || big->exact == other->exact),
                    "the same bytes in another order read otherwise");
            }
        }
    }
}

void Text(std::string_view text) {
    if (const auto map = scale_link::ParseModbusMap(text)) {
        FUZZ_CHECK(map->weight + modbus::RegistersOf(map->type) - 1 <= 0xFFFF,
                   "a weight whose registers pass 65535");
        FUZZ_CHECK(!map->motion || map->motion->bit <= 15, "a motion bit over 15");
        FUZZ_CHECK(map->unit >= 0 && map->unit <= 255, "a unit id over 255");
        FUZZ_CHECK(map->poll.count() >= 10 && map->poll.count() <= 60000, "a poll out of bounds");
        FUZZ_CHECK(map->decimals <= 9, "more than 9 decimals");
    }
    if (const auto port = scale_link::ParseModbusPort(text))
        FUZZ_CHECK(port->tcp ? port->port != 0 && !port->host.empty() : !port->serial.empty(),
                   "a port without its place");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    if (data[0] % 2 == 0)
        Registers(rest);
    else
        Text(std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()));
    return 0;
}
