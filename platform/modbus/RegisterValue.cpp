#include "platform/modbus/RegisterValue.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <utility>

namespace modbus {
namespace {

// Where each wire byte goes in the value: 0 is the most significant.
constexpr std::array<std::array<unsigned, 4>, 4> kPlaces = {{
    {0, 1, 2, 3},  // abcd
    {2, 3, 0, 1},  // cdab
    {1, 0, 3, 2},  // badc
    {3, 2, 1, 0},  // dcba
}};

std::uint32_t Assemble32(std::span<const std::uint16_t> registers, ByteOrder order) {
    const std::array<std::uint8_t, 4> wire = {
        static_cast<std::uint8_t>(registers[0] >> 8), static_cast<std::uint8_t>(registers[0]),
        static_cast<std::uint8_t>(registers[1] >> 8), static_cast<std::uint8_t>(registers[1])};
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < wire.size(); ++i)
        value |= std::uint32_t{wire[i]} << (8 * (3 - kPlaces[static_cast<std::size_t>(order)][i]));
    return value;
}

std::uint16_t Assemble16(std::uint16_t word, ByteOrder order) {
    const bool swapped = order == ByteOrder::kBadc || order == ByteOrder::kDcba;
    return swapped ? static_cast<std::uint16_t>((word << 8) | (word >> 8)) : word;
}

// The integer with `decimals` of its figures after a point, exactly.
std::string FixedText(std::int64_t integer, unsigned decimals) {
    std::string figures = std::to_string(integer < 0 ? -integer : integer);
    if (decimals > 0) {
        if (figures.size() <= decimals)
            figures.insert(0, decimals + 1 - figures.size(), '0');
        figures.insert(figures.size() - decimals, ".");
    }
    return (integer < 0 ? "-" : "") + figures;
}

// The value as its text says it, so that the two never disagree.
DecodedValue FromText(std::string exact) {
    DecodedValue decoded{std::move(exact), 0};
    std::from_chars(decoded.exact.data(), decoded.exact.data() + decoded.exact.size(),
                    decoded.value);
    return decoded;
}

std::optional<DecodedValue> FloatValue(float number) {
    if (!std::isfinite(number))
        return std::nullopt;
    if (number == 0)
        number = 0;  // a negative zero is no weight below zero
    // The shortest text that reads back as the same float, without an exponent.
    std::array<char, 64> text{};
    const auto end =
        std::to_chars(text.data(), text.data() + text.size(), number, std::chars_format::fixed);
    return FromText(std::string(text.data(), end.ptr));
}

std::int64_t IntegerOf(std::span<const std::uint16_t> registers, ValueType type, ByteOrder order) {
    switch (type) {
        case ValueType::kInt16:
            return static_cast<std::int16_t>(Assemble16(registers[0], order));
        case ValueType::kUint16:
            return Assemble16(registers[0], order);
        case ValueType::kInt32:
            return static_cast<std::int32_t>(Assemble32(registers, order));
        case ValueType::kUint32:
        case ValueType::kFloat32:
            break;
    }
    return Assemble32(registers, order);
}

}  // namespace

std::optional<ValueType> ValueTypeNamed(std::string_view name) {
    constexpr std::array<std::pair<std::string_view, ValueType>, 5> kNames = {{
        {"int16", ValueType::kInt16},
        {"uint16", ValueType::kUint16},
        {"int32", ValueType::kInt32},
        {"uint32", ValueType::kUint32},
        {"float32", ValueType::kFloat32},
    }};
    for (const auto& [text, type] : kNames) {
        if (text == name)
            return type;
    }
    return std::nullopt;
}

std::optional<ByteOrder> ByteOrderNamed(std::string_view name) {
    constexpr std::array<std::string_view, 4> kNames = {"abcd", "cdab", "badc", "dcba"};
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (kNames[i] == name)
            return static_cast<ByteOrder>(i);
    }
    return std::nullopt;
}

unsigned RegistersOf(ValueType type) {
    return type == ValueType::kInt16 || type == ValueType::kUint16 ? 1 : 2;
}

std::optional<DecodedValue> DecodeRegisters(std::span<const std::uint16_t> registers,
                                            ValueType type, ByteOrder order, unsigned decimals) {
    if (registers.size() < RegistersOf(type))
        return std::nullopt;
    if (type == ValueType::kFloat32)
        return FloatValue(std::bit_cast<float>(Assemble32(registers, order)));
    const std::int64_t integer = IntegerOf(registers, type, order);
    return FromText(FixedText(integer, decimals));
}

}  // namespace modbus
