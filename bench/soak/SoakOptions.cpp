#include "bench/soak/SoakOptions.h"

#include <charconv>

namespace soak {

namespace {

// A day of streaming is far beyond any soak worth waiting for.
constexpr int kLongestSeconds = 24 * 60 * 60;

bool ParseCount(std::string_view text, int high, int* out) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 1 || value > high)
        return false;
    *out = value;
    return true;
}

}  // namespace

std::optional<SoakOptions> ParseSoakOptions(std::span<const std::string_view> args,
                                            std::string* error) {
    SoakOptions options;
    bool durationGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view name = args[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name != "--minutes" && name != "--seconds") {
            *error = "unknown option " + std::string(name);
            return std::nullopt;
        }
        if (durationGiven) {
            *error = "give the duration once, in minutes or in seconds";
            return std::nullopt;
        }
        if (i + 1 == args.size()) {
            *error = std::string(name) + " needs a value";
            return std::nullopt;
        }
        const std::string_view value = args[++i];
        const bool minutes = name == "--minutes";
        int count = 0;
        if (!ParseCount(value, minutes ? kLongestSeconds / 60 : kLongestSeconds, &count)) {
            *error = "bad value for " + std::string(name) + ": '" + std::string(value) + "'";
            return std::nullopt;
        }
        options.seconds = minutes ? count * 60 : count;
        durationGiven = true;
    }
    return options;
}

std::string SoakUsage() {
    return "usage: karvel_soak [--minutes M | --seconds S]\n"
           "Runs the panel, with the real display control, against the simulated scale at\n"
           "80 frames/s for M minutes (default 10) and checks that every frame sent was\n"
           "decoded. Prints 'figure:' lines and 'soak: PASS' or 'soak: FAIL (reason)'.\n";
}

}  // namespace soak
