#include "platform/component/Variant.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace component {

Variant Variant::UI8(std::uint64_t v) {
    Variant r(VarType::UI8, 0);
    r.m_integer = static_cast<std::int64_t>(v);
    return r;
}

Variant Variant::R4(float v) {
    Variant r(VarType::R4, 0);
    r.m_real = v;
    return r;
}

Variant Variant::R8(double v) {
    Variant r(VarType::R8, 0);
    r.m_real = v;
    return r;
}

Variant Variant::Bool(bool v) {
    return Variant(VarType::Bool, v ? -1 : 0);
}

Variant Variant::String(std::string text) {
    Variant r(VarType::String, 0);
    r.m_text = std::move(text);
    return r;
}

namespace {

// Automation accepts surrounding blanks in numeric text; nothing else.
std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

Result RealToInteger(double v, std::int64_t lo, std::int64_t hi, std::int64_t* out) {
    if (!std::isfinite(v))
        return kOverflow;
    const double rounded = std::nearbyint(v);  // default rounding mode: half to even
    if (rounded < static_cast<double>(lo) || rounded > static_cast<double>(hi))
        return kOverflow;
    *out = static_cast<std::int64_t>(rounded);
    return kOk;
}

Result TextToInteger(std::string_view text, std::int64_t lo, std::int64_t hi, std::int64_t* out) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return kTypeMismatch;
    std::int64_t whole = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), whole);
    if (ec == std::errc() && end == text.data() + text.size()) {
        if (whole < lo || whole > hi)
            return kOverflow;
        *out = whole;
        return kOk;
    }
    if (ec == std::errc::result_out_of_range)
        return kOverflow;
    double real = 0.0;
    auto [rend, rec] = std::from_chars(text.data(), text.data() + text.size(), real);
    if (rec == std::errc::result_out_of_range)
        return kOverflow;
    if (rec != std::errc() || rend != text.data() + text.size())
        return kTypeMismatch;
    return RealToInteger(real, lo, hi, out);
}

}  // namespace

Result Variant::ConvertTo(VarType target, Variant* out) const {
    std::int64_t lo = 0;
    std::int64_t hi = 0;
    if (target == VarType::I2) {
        lo = std::numeric_limits<std::int16_t>::min();
        hi = std::numeric_limits<std::int16_t>::max();
    } else if (target == VarType::I4) {
        lo = std::numeric_limits<std::int32_t>::min();
        hi = std::numeric_limits<std::int32_t>::max();
    } else {
        return kTypeMismatch;
    }

    std::int64_t value = 0;
    Result r = kOk;
    switch (m_type) {
        case VarType::I1:
        case VarType::I2:
        case VarType::I4:
        case VarType::I8:
        case VarType::UI1:
        case VarType::UI2:
        case VarType::UI4:
        case VarType::Bool:
            value = m_integer;
            if (value < lo || value > hi)
                r = kOverflow;
            break;
        case VarType::UI8:
            if (AsUnsigned() > static_cast<std::uint64_t>(hi)) {
                r = kOverflow;
            } else {
                value = m_integer;
            }
            break;
        case VarType::R4:
        case VarType::R8:
            r = RealToInteger(m_real, lo, hi, &value);
            break;
        case VarType::String:
            r = TextToInteger(m_text, lo, hi, &value);
            break;
        case VarType::Empty:
            value = 0;  // an empty argument converts to zero, as automation does
            break;
    }
    if (Failed(r))
        return r;
    if (out != nullptr)
        *out = Variant(target, value);
    return kOk;
}

}  // namespace component
