#pragma once

#include <cstdint>
#include <string>

#include "platform/component/Result.h"

namespace component {

// The argument types a caller may pass to a dispatch member.
enum class VarType : std::uint16_t {
    Empty = 0,
    I2 = 2,
    I4 = 3,
    R4 = 4,
    R8 = 5,
    String = 8,
    Bool = 11,
    I1 = 16,
    UI1 = 17,
    UI2 = 18,
    UI4 = 19,
    I8 = 20,
    UI8 = 21,
};

// One dispatch argument or result. A value type; the text of a String is owned.
class Variant {
  public:
    Variant() = default;
    static Variant I1(std::int8_t v) { return Variant(VarType::I1, v); }
    static Variant I2(std::int16_t v) { return Variant(VarType::I2, v); }
    static Variant I4(std::int32_t v) { return Variant(VarType::I4, v); }
    static Variant I8(std::int64_t v) { return Variant(VarType::I8, v); }
    static Variant UI1(std::uint8_t v) { return Variant(VarType::UI1, v); }
    static Variant UI2(std::uint16_t v) { return Variant(VarType::UI2, v); }
    static Variant UI4(std::uint32_t v) { return Variant(VarType::UI4, v); }
    static Variant UI8(std::uint64_t v);
    static Variant R4(float v);
    static Variant R8(double v);
    static Variant Bool(bool v);
    static Variant String(std::string text);

    VarType Type() const { return m_type; }
    // Valid for the integer types, Bool (-1 for true, 0 for false) and after a successful
    // conversion to I2 or I4.
    std::int64_t AsInteger() const { return m_integer; }
    std::uint64_t AsUnsigned() const { return static_cast<std::uint64_t>(m_integer); }
    double AsReal() const { return m_real; }

    // Converts to I2 or I4 (other targets give kTypeMismatch). Out of range is kOverflow, a value
    // that is not a number is kTypeMismatch. Reals round half to even, as automation does.
    Result ConvertTo(VarType target, Variant* out) const;

    bool operator==(const Variant&) const = default;

  private:
    Variant(VarType type, std::int64_t v) : m_type(type), m_integer(v) {}

    VarType m_type = VarType::Empty;
    std::int64_t m_integer = 0;
    double m_real = 0.0;
    std::string m_text;
};

}  // namespace component
