#pragma once

// The options that keep weighings: --log FILE, --capture RULE and --min-weight W. Without them
// nothing is written and nothing is kept until the user opens the readings window.

#include <QString>
#include <QStringList>

#include <optional>

#include "record/Capture.h"
#include "record/Forms.h"

struct RecordOptions {
    QString logFile;                          // --log: empty when not given
    std::optional<record::CaptureRule> rule;  // --capture: none when not given
    std::optional<double> minWeight;          // --min-weight: the settled rule's least weight
    record::CsvDialect dialect;               // --csv-decimal: of the log and the CSV export

    record::CaptureRule Rule() const { return rule.value_or(record::CaptureRule::kSettled); }
};

// When args[*i] is --log, --capture, --min-weight or --csv-decimal (with its value joined by '=' or
// next), takes it into `options`, moves *i past it and returns true; a missing or bad value sets
// `error`.
bool TakeRecordOption(const QStringList& args, qsizetype* i, RecordOptions* options,
                      QString* error);
// The options' lines for --help.
QString RecordUsageText();
