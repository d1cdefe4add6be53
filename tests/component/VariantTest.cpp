#include "platform/component/Variant.h"

#include <gtest/gtest.h>

namespace component {
namespace {

struct ConversionCase {
    Variant in;
    VarType target;
    Result expected;
    std::int64_t value;  // when expected is kOk
};

TEST(Variant, ConvertsToI2AndI4WithAutomationOutcomes) {
    const ConversionCase cases[] = {
        {Variant::I2(-1), VarType::I2, kOk, -1},
        {Variant::I4(0x1234), VarType::I2, kOk, 0x1234},
        {Variant::I4(32767), VarType::I2, kOk, 32767},
        {Variant::I4(32768), VarType::I2, kOverflow, 0},
        {Variant::I4(-32769), VarType::I2, kOverflow, 0},
        {Variant::UI1(255), VarType::I2, kOk, 255},
        {Variant::I1(-128), VarType::I2, kOk, -128},
        {Variant::UI2(65535), VarType::I2, kOverflow, 0},
        {Variant::UI4(0xFFFFFFFFu), VarType::I4, kOverflow, 0},
        {Variant::UI8(0xFFFFFFFFFFFFFFFFull), VarType::I4, kOverflow, 0},
        {Variant::I8(-2147483648LL), VarType::I4, kOk, -2147483648LL},
        {Variant::I8(2147483648LL), VarType::I4, kOverflow, 0},
        {Variant::Bool(true), VarType::I2, kOk, -1},
        {Variant::Bool(false), VarType::I4, kOk, 0},
        {Variant::R8(2.5), VarType::I2, kOk, 2},
        {Variant::R8(3.5), VarType::I2, kOk, 4},
        {Variant::R4(-1.5f), VarType::I4, kOk, -2},
        {Variant::R8(1e10), VarType::I4, kOverflow, 0},
        {Variant::String("  42 "), VarType::I2, kOk, 42},
        {Variant::String("-7"), VarType::I4, kOk, -7},
        {Variant::String("65280"), VarType::I4, kOk, 65280},
        {Variant::String("1.5"), VarType::I2, kOk, 2},
        {Variant::String("40000"), VarType::I2, kOverflow, 0},
        {Variant::String("99999999999999999999999"), VarType::I4, kOverflow, 0},
        {Variant::String("green"), VarType::I4, kTypeMismatch, 0},
        {Variant::String(""), VarType::I4, kTypeMismatch, 0},
        {Variant::String("12abc"), VarType::I2, kTypeMismatch, 0},
        {Variant::I2(1), VarType::String, kTypeMismatch, 0},
    };
    for (const ConversionCase& c : cases) {
        Variant out = Variant::I2(999);
        const Result r = c.in.ConvertTo(c.target, &out);
        EXPECT_EQ(r, c.expected) << static_cast<int>(c.in.Type()) << " " << c.value;
        if (c.expected == kOk) {
            EXPECT_EQ(out.Type(), c.target);
            EXPECT_EQ(out.AsInteger(), c.value);
        } else {
            EXPECT_EQ(out.AsInteger(), 999) << "failed conversion must leave the output alone";
        }
    }
}

}  // namespace
}  // namespace component
