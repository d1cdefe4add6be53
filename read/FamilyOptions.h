#pragma once

// The options that choose a scale family and its line settings. Plain C++.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "scale/Protocol.h"

namespace reader {

struct FamilyOptions {
    std::string protocol;  // a family's name or "auto"; empty: the probe scan
    std::optional<scale::LineSettings> line;
    std::string pattern;
    bool Enabled() const { return !protocol.empty(); }
};

// Takes --protocol, --line or --pattern with its value at args[at]: how many arguments were
// used, 0 for another option. A bad value sets `error`.
std::size_t TakeFamilyOption(std::span<const std::string_view> args, std::size_t at,
                             FamilyOptions& options, std::string* error);
// What is wrong with the combination, if anything.
std::optional<std::string> CheckFamilyOptions(const FamilyOptions& options);

std::string FamilyUsage();

}  // namespace reader
