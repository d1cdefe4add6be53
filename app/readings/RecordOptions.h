#pragma once

// The options that keep weighings: --log FILE, --capture RULE, --min-weight W and
// --csv-decimal SIGN. Without them nothing is written and nothing is kept until the user opens
// the readings window.

#include <QString>

#include <optional>

#include "platform/cli/OptionTable.h"
#include "record/Capture.h"
#include "record/CaptureOptions.h"
#include "record/Forms.h"

struct RecordOptions {
    QString logFile;                          // --log: empty when not given
    std::optional<record::CaptureRule> rule;  // --capture: none when not given
    std::optional<double> minWeight;          // --min-weight: the settled rule's least weight
    record::CsvDialect dialect;               // --csv-decimal: of the log and the CSV export

    record::CaptureRule Rule() const { return rule.value_or(record::CaptureRule::kSettled); }
};

// --log, and the capture options (as karvel-read takes them) into `capture`, in the panel's
// words; UseCapture then takes what they chose.
void AddRecordOptions(cli::OptionTable& table, RecordOptions& options,
                      record::CaptureOptions& capture);
void UseCapture(const record::CaptureOptions& capture, RecordOptions& options);
