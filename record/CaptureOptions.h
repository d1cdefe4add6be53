#pragma once

// The options that choose which readings are kept, shared by Karvel and karvel-read: --capture,
// --min-weight and --csv-decimal. Each program says in its own words what they are for and
// keeps its own default rule. Plain C++.

#include <optional>
#include <string>

#include "platform/cli/OptionTable.h"
#include "record/Capture.h"
#include "record/Forms.h"

namespace record {

struct CaptureOptions {
    std::optional<CaptureRule> rule;  // --capture: none when not given
    std::optional<double> minWeight;  // --min-weight: the settled rule's least weight
    CsvDialect dialect;               // --csv-decimal
};

struct CaptureHelp {
    std::string capture;  // --capture RULE
    std::string decimal;  // --csv-decimal SIGN
};

void AddCaptureOptions(cli::OptionTable& table, CaptureOptions& options, CaptureHelp help);

}  // namespace record
