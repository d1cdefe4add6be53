#include "record/BenchOptions.h"

#include <charconv>

namespace record {

namespace {

// The largest sample anyone counts by hand.
constexpr int kMaxSampleSize = 100000;

// The value of `name` at args[at]: joined ("--check=x"), or the next argument. `optional`
// values are taken from the next argument only when it is no option. `used` counts the
// arguments; false when args[at] is not `name`.
bool ValueOf(std::span<const std::string_view> args, std::size_t at, std::string_view name,
             bool optional, std::string_view* value, std::size_t* used, bool* given) {
    const std::string_view arg = args[at];
    if (!arg.starts_with(name) || (arg.size() != name.size() && arg[name.size()] != '='))
        return false;
    *used = 1;
    *given = arg.size() != name.size();
    if (*given) {
        *value = arg.substr(name.size() + 1);
    } else if (at + 1 < args.size() && (!optional || !args[at + 1].starts_with('-'))) {
        *value = args[at + 1];
        *used = 2;
        *given = true;
    }
    return true;
}

}  // namespace

std::size_t TakeBenchOption(std::span<const std::string_view> args, std::size_t at,
                            BenchOptions& options, std::string* error) {
    std::string_view value;
    std::size_t used = 0;
    bool given = false;
    const auto needs = [&](std::string_view name, bool optional) {
        return ValueOf(args, at, name, optional, &value, &used, &given);
    };
    if (args[at] == "--check-sound") {
        options.checkSound = true;
        return 1;
    }
    if (needs("--check-limits", false) || needs("--check", false)) {
        const bool limits = args[at].starts_with("--check-limits");
        const std::string name = limits ? "--check-limits" : "--check";
        std::string why;
        if (options.rules.check) {
            *error = "give --check or --check-limits once";
        } else if (!given) {
            *error = name + " needs a value";
        } else if (!(options.rules.check =
                         limits ? ParseCheckLimits(value, &why) : ParseCheck(value, &why))) {
            *error = name + " '" + std::string(value) + "': " + why;
        }
        return used;
    }
    if (needs("--count-pieces", true)) {
        options.rules.countPieces = true;
        if (given) {
            int size = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), size);
            if (ec != std::errc() || end != value.data() + value.size() || size < 1 ||
                size > kMaxSampleSize)
                *error = "--count-pieces: the sample is 1 to " + std::to_string(kMaxSampleSize) +
                         " pieces";
            options.rules.sampleSize = size;
        }
        return used;
    }
    if (needs("--print-ticket", true)) {
        options.printTicket = true;
        options.printer = std::string(value);
        return used;
    }
    if (needs("--ticket-size", false)) {
        std::string why;
        if (!given)
            *error = "--ticket-size needs a page, such as 62x29mm";
        else if (!(options.ticketSize = ParseTicketSize(value, &why)))
            *error = "--ticket-size '" + std::string(value) + "': " + why;
        return used;
    }
    if (needs("--print-preview", false) || needs("--ticket-header", false)) {
        const bool preview = args[at].starts_with("--print-preview");
        if (!given || value.empty())
            *error = preview ? "--print-preview needs a PDF file to write"
                             : "--ticket-header needs a text";
        (preview ? options.preview : options.ticketHeader) = std::string(value);
        return used;
    }
    return 0;
}

std::string BenchUsage(std::size_t indent, std::string_view sample) {
    const std::string in(indent, ' ');
    return "  --check TARGET[UNIT],-BELOW,+ABOVE\n" + in +
           "check every captured weighing: under, ok (the limits\n" + in +
           "included) or over, such as 500g,-2,+5; compared as exact\n" + in +
           "decimals, other units of mass converted (mg g kg t ct lb\n" + in +
           "oz st viss); no unit: the scale's, whatever it shows\n"
           "  --check-limits LOW,HIGH\n" +
           in + "the same with two limits, such as 498g,505g\n" + "  --count-pieces[=N]\n" + in +
           "count pieces from a sample of N (default 10):\n" + in + std::string(sample) +
           " takes the settled weight of N pieces\n" + in + "as the sample\n";
}

}  // namespace record
