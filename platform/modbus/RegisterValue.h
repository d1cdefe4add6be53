#pragma once

// A number held in one or two Modbus registers, as a transmitter lays it out: its type, the order
// of its bytes over the two registers, and a fixed point for integers. No I/O; any thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace modbus {

enum class ValueType { kInt16, kUint16, kInt32, kUint32, kFloat32 };
// The value's bytes, most significant (a) first, in the order they come on the wire: abcd is big
// endian, cdab swaps the registers, badc the bytes in each, dcba both. A one-register value
// takes only the swap within a register (badc and dcba swap, abcd and cdab do not).
enum class ByteOrder { kAbcd, kCdab, kBadc, kDcba };

std::optional<ValueType> ValueTypeNamed(std::string_view name);
std::optional<ByteOrder> ByteOrderNamed(std::string_view name);
// How many registers a value of `type` takes: 1 or 2.
unsigned RegistersOf(ValueType type);

struct DecodedValue {
    std::string exact;  // "-12.34": plain decimal, never an exponent
    double value = 0;
};

// The value in `registers` (RegistersOf(type) of them; fewer: none), an integer divided by ten
// `decimals` times. None for a float that is not a number or is infinite.
std::optional<DecodedValue> DecodeRegisters(std::span<const std::uint16_t> registers,
                                            ValueType type, ByteOrder order, unsigned decimals);

}  // namespace modbus
