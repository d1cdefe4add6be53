#include "bench/soak/SoakOptions.h"

#include "bench/support/CommandLine.h"

namespace soak {

namespace {

// A day of streaming is far beyond any soak worth waiting for.
constexpr int kLongestSeconds = 24 * 60 * 60;

cli::OptionTable MakeTable(SoakOptions& options, int& minutes, int& seconds) {
    cli::OptionTable table(cli::kEvery);
    table.Add({.name = "--minutes",
               .value = "M",
               .help = "how long the scale streams, in minutes (default 10)",
               .apply = bench::Whole("--minutes", 1, kLongestSeconds / 60, minutes)});
    table.Add({.name = "--seconds",
               .value = "S",
               .help = "the same in seconds",
               .apply = bench::Whole("--seconds", 1, kLongestSeconds, seconds)});
    table.Add({.name = "--help",
               .help = "print this text",
               .apply = cli::Set(options.help),
               .alias = "-h"});
    return table;
}

}  // namespace

std::optional<SoakOptions> ParseSoakOptions(std::span<const std::string_view> args,
                                            std::string* error) {
    SoakOptions options;
    int minutes = 0, seconds = 0;
    posix::Status parsed = MakeTable(options, minutes, seconds).Parse(args);
    if (parsed && minutes != 0 && seconds != 0)
        parsed = cli::Refuse("give the duration once, in minutes or in seconds");
    if (!parsed) {
        *error = parsed.Error().text;
        return std::nullopt;
    }
    if (minutes != 0 || seconds != 0)
        options.seconds = minutes != 0 ? minutes * 60 : seconds;
    return options;
}

std::string SoakUsage() {
    return "usage: karvel_soak [--minutes M | --seconds S]\n"
           "Runs the panel, with the real display control, against the simulated scale at\n"
           "80 frames/s for M minutes (default 10) and checks that every frame sent was\n"
           "decoded. Prints 'figure:' lines and 'soak: PASS' or 'soak: FAIL (reason)'.\n";
}

}  // namespace soak
