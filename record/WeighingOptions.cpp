#include "record/WeighingOptions.h"

#include <charconv>

namespace record {
namespace {

using Value = std::optional<std::string_view>;

// The largest sample anyone counts by hand.
constexpr int kMaxSampleSize = 100000;

posix::Status TakeCheck(std::string_view name, std::string_view value, WeighingRules& rules) {
    if (rules.check)
        return cli::Refuse("give --check or --check-limits once");
    std::string why;
    rules.check =
        name == "--check-limits" ? ParseCheckLimits(value, &why) : ParseCheck(value, &why);
    if (!rules.check)
        return cli::Refuse(std::string(name) + " '" + std::string(value) + "': " + why);
    return posix::Success();
}

posix::Status TakeSample(Value value, WeighingRules& rules) {
    rules.countPieces = true;
    if (!value)
        return posix::Success();
    int size = 0;
    const auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), size);
    rules.sampleSize = size;
    if (ec != std::errc() || end != value->data() + value->size() || size < 1 ||
        size > kMaxSampleSize)
        return cli::Refuse("--count-pieces: the sample is 1 to " + std::to_string(kMaxSampleSize) +
                           " pieces");
    return posix::Success();
}

posix::Status TakeTicketSize(std::string_view value, WeighingOptions& options) {
    std::string why;
    if (!(options.ticketSize = ParseTicketSize(value, &why)))
        return cli::Refuse("--ticket-size '" + std::string(value) + "': " + why);
    return posix::Success();
}

void AddCheckOptions(cli::OptionTable& table, WeighingOptions& options, std::string_view sample) {
    table.Add(
        {.name = "--check",
         .value = "TARGET[UNIT],-BELOW,+ABOVE",
         .help = "check every captured weighing: under, ok (the limits included) or over, "
                 "such as 500g,-2,+5; compared as exact decimals, other units of mass "
                 "converted (mg g kg t ct lb oz st viss); no unit: the scale's, whatever it "
                 "shows",
         .apply = [&options](Value value) { return TakeCheck("--check", *value, options.rules); },
         .programs = cli::kBoth});
    table.Add(
        {.name = "--check-limits",
         .value = "LOW,HIGH",
         .help = "the same with two limits, such as 498g,505g",
         .apply =
             [&options](Value value) { return TakeCheck("--check-limits", *value, options.rules); },
         .programs = cli::kBoth});
    table.Add({.name = "--count-pieces",
               .value = "N",
               .help = "count pieces from a sample of N (default 10): " + std::string(sample) +
                       " takes the settled weight of N pieces as the sample",
               .apply = [&options](Value value) { return TakeSample(value, options.rules); },
               .programs = cli::kBoth,
               .takes = cli::Takes::kOptionalValue});
}

// The panel's own: karvel-read names them only to refuse them.
void AddTicketOptions(cli::OptionTable& table, WeighingOptions& options) {
    table.Add({.name = "--check-sound",
               .help = "the desktop's event sound on each UNDER and OVER",
               .apply = cli::Set(options.checkSound),
               .programs = cli::kPanel});
    table.Add({.name = "--print-ticket",
               .value = "PRINTER",
               .help = "print a ticket of each captured weighing through CUPS (default: the "
                       "default printer); Ctrl+P prints one of the last weighing",
               .apply =
                   [&options](Value value) {
                       options.printTicket = true;
                       options.printer = std::string(value.value_or(""));
                       return posix::Success();
                   },
               .programs = cli::kPanel,
               .takes = cli::Takes::kOptionalValue});
    table.Add({.name = "--print-preview",
               .value = "FILE.pdf",
               .help = "write each ticket to FILE.pdf instead of a printer",
               .apply = cli::Keep(options.preview, "--print-preview needs a PDF file to write"),
               .programs = cli::kPanel});
    table.Add({.name = "--ticket-header",
               .value = "TEXT",
               .help = "a line printed at the head of every ticket",
               .apply = cli::Keep(options.ticketHeader, "--ticket-header needs a text"),
               .programs = cli::kPanel});
    table.Add({.name = "--ticket-size",
               .value = "WxHmm",
               .help = "lay tickets out on this page, such as a label's 62x29mm; default: the "
                       "printer's label or narrow roll, else 80 mm wide",
               .apply = [&options](Value value) { return TakeTicketSize(*value, options); },
               .programs = cli::kPanel});
    for (const char* name :
         {"--check-sound", "--print-ticket", "--print-preview", "--ticket-header", "--ticket-size"})
        table.Add({.name = name,
                   .apply =
                       [](Value) {
                           return cli::Refuse(
                               "--check-sound and the ticket options are the panel's (Karvel)");
                       },
                   .programs = cli::kReader,
                   .takes = cli::Takes::kOptionalValue,
                   .hidden = true});
}

}  // namespace

void AddWeighingOptions(cli::OptionTable& table, WeighingOptions& options,
                        std::string_view sample) {
    AddCheckOptions(table, options, sample);
    AddTicketOptions(table, options);
}

}  // namespace record
