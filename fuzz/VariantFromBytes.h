#pragma once

// Dispatch arguments of every type, made from fuzz input, and what converting one must give.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>

#include "platform/component/Result.h"
#include "platform/component/Variant.h"

namespace fuzz {

// One argument of any type: integers of every width, reals including NaN, infinities, halves
// and the edges of the 16- and 32-bit ranges, booleans, arbitrary text and numeric text.
// `exact` receives the integer a numeric text spells, when it was made from one.
component::Variant MakeVariant(FuzzedDataProvider& in, std::optional<std::int64_t>* exact);

// What ConvertTo(target) must give for `v`, target being I2 or I4; `value` receives the
// converted integer on success. Empty when the outcome is not decided here (free text).
std::optional<component::Result> ExpectedConversion(const component::Variant& v,
                                                    const std::optional<std::int64_t>& exact,
                                                    component::VarType target, std::int64_t* value);

}  // namespace fuzz
