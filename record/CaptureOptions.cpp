#include "record/CaptureOptions.h"

#include <utility>

namespace record {

void AddCaptureOptions(cli::OptionTable& table, CaptureOptions& options, CaptureHelp help) {
    using Value = std::optional<std::string_view>;
    table.Add({.name = "--capture",
               .value = "RULE",
               .help = std::move(help.capture),
               .apply =
                   [&options](Value value) {
                       options.rule = ParseRule(*value);
                       if (options.rule)
                           return posix::Success();
                       return cli::Refuse(
                           "--capture must be settled, data, change or every (or settled-all)");
                   },
               .programs = cli::kBoth});
    table.Add({.name = "--min-weight",
               .value = "W",
               .help = "settled keeps a weight of W or more (either sign, in the scale's unit) "
                       "instead of skipping only the empty pan",
               .apply =
                   [&options](Value value) {
                       options.minWeight = ParseMinWeight(*value);
                       if (options.minWeight)
                           return posix::Success();
                       return cli::Refuse(
                           "--min-weight needs a weight of 0 or more, in the scale's unit (0.05)");
                   },
               .programs = cli::kBoth});
    table.Add({.name = "--csv-decimal",
               .value = "SIGN",
               .help = std::move(help.decimal),
               .apply =
                   [&options](Value value) {
                       const auto dialect = ParseCsvDecimal(*value);
                       if (!dialect)
                           return cli::Refuse("--csv-decimal must be '.' or ','");
                       options.dialect = *dialect;
                       return posix::Success();
                   },
               .programs = cli::kBoth});
}

}  // namespace record
