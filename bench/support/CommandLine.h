#pragma once

// A benchmark's command line, read with the programs' own option driver: what a benchmark does
// not take is refused, never ignored.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cli/OptionTable.h"

namespace bench {

// Reads argv after the program's name against `table`, to which it adds --help. Arguments that
// are no option go to `operands` when it is given and are refused otherwise. The exit status to
// end with when the benchmark is not to run: 0 after printing the usage, `about` and the
// options for --help, 2 after saying what was refused; nullopt to run.
std::optional<int> ReadCommandLine(cli::OptionTable& table, std::string_view about, int argc,
                                   char** argv, std::vector<std::string>* operands = nullptr);

// Takes a whole number from `low` to `high` into `into`.
cli::Apply Whole(std::string name, int low, int high, int& into);

}  // namespace bench
