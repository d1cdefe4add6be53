#pragma once

// Command line of karvel_soak.

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace soak {

struct SoakOptions {
    int seconds = 10 * 60;  // how long the scale streams
    bool help = false;
};

// `args` excludes the program name. Nullopt, with `error` set, for anything it cannot use.
std::optional<SoakOptions> ParseSoakOptions(std::span<const std::string_view> args,
                                            std::string* error);

std::string SoakUsage();

}  // namespace soak
