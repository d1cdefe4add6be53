#include "fuzz/VariantFromBytes.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace fuzz {

using component::Result;
using component::Variant;
using component::VarType;

namespace {

double MakeReal(FuzzedDataProvider& in) {
    static constexpr double kEdges[] = {
        0.0,
        -0.0,
        0.5,
        1.5,
        2.5,
        -0.5,
        -2.5,
        32767.0,
        32767.5,
        32767.49999999999,
        -32768.0,
        -32768.5,
        -32768.50000000001,
        2147483647.0,
        2147483647.5,
        -2147483648.0,
        -2147483648.5,
        9.2233720368547758e18,
        std::numeric_limits<double>::max(),
        std::numeric_limits<double>::denorm_min(),
        std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN(),
    };
    if (in.ConsumeBool())
        return in.PickValueInArray(kEdges);
    const std::uint64_t bits = in.ConsumeIntegral<std::uint64_t>();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Integer text as a caller might send it: optional blanks around, an optional sign.
std::string IntegerText(FuzzedDataProvider& in, std::int64_t* value) {
    *value = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int64_t>(-70000, 70000)
                              : in.ConsumeIntegral<std::int64_t>();
    std::string text = std::to_string(*value);
    if (*value >= 0 && in.ConsumeBool())
        text.insert(0, "+");
    static constexpr const char* kBlanks[] = {"", " ", "\t", "  "};
    return in.PickValueInArray(kBlanks) + text + in.PickValueInArray(kBlanks);
}

// Half to even, written with floor rather than the current rounding mode.
double RoundHalfEven(double v) {
    const double below = std::floor(v);
    const double fraction = v - below;
    if (fraction > 0.5)
        return below + 1;
    if (fraction < 0.5)
        return below;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1;
}

}  // namespace

Variant MakeVariant(FuzzedDataProvider& in, std::optional<std::int64_t>* exact) {
    exact->reset();
    switch (in.ConsumeIntegralInRange<int>(0, 14)) {
        case 0:
            return Variant();
        case 1:
            return Variant::I1(in.ConsumeIntegral<std::int8_t>());
        case 2:
            return Variant::I2(in.ConsumeIntegral<std::int16_t>());
        case 3:
            return Variant::I4(in.ConsumeIntegral<std::int32_t>());
        case 4:
            return Variant::I8(in.ConsumeIntegral<std::int64_t>());
        case 5:
            return Variant::UI1(in.ConsumeIntegral<std::uint8_t>());
        case 6:
            return Variant::UI2(in.ConsumeIntegral<std::uint16_t>());
        case 7:
            return Variant::UI4(in.ConsumeIntegral<std::uint32_t>());
        case 8:
            return Variant::UI8(in.ConsumeIntegral<std::uint64_t>());
        case 9:
            return Variant::R4(static_cast<float>(MakeReal(in)));
        case 10:
            return Variant::R8(MakeReal(in));
        case 11:
            return Variant::Bool(in.ConsumeBool());
        case 12: {
            std::int64_t value = 0;
            std::string text = IntegerText(in, &value);
            *exact = value;
            return Variant::String(std::move(text));
        }
        case 13:
            return Variant::String(std::to_string(MakeReal(in)));
        default:
            return Variant::String(in.ConsumeRandomLengthString(48));
    }
}

std::optional<Result> ExpectedConversion(const Variant& v, const std::optional<std::int64_t>& exact,
                                         VarType target, std::int64_t* value) {
    const std::int64_t lo = target == VarType::I2 ? std::numeric_limits<std::int16_t>::min()
                                                  : std::numeric_limits<std::int32_t>::min();
    const std::int64_t hi = target == VarType::I2 ? std::numeric_limits<std::int16_t>::max()
                                                  : std::numeric_limits<std::int32_t>::max();
    auto inRange = [&](std::int64_t n) -> Result {
        if (n < lo || n > hi)
            return component::kOverflow;
        *value = n;
        return component::kOk;
    };
    switch (v.Type()) {
        case VarType::Empty:
            *value = 0;
            return component::kOk;
        case VarType::UI8:
            if (v.AsUnsigned() > static_cast<std::uint64_t>(hi))
                return component::kOverflow;
            return inRange(v.AsInteger());
        case VarType::R4:
        case VarType::R8: {
            const double real = v.AsReal();
            if (!std::isfinite(real))
                return component::kOverflow;
            const double rounded = RoundHalfEven(real);
            if (rounded < static_cast<double>(lo) || rounded > static_cast<double>(hi))
                return component::kOverflow;
            *value = static_cast<std::int64_t>(rounded);
            return component::kOk;
        }
        case VarType::String:
            if (!exact)
                return std::nullopt;
            return inRange(*exact);
        default:
            return inRange(v.AsInteger());
    }
}

}  // namespace fuzz
