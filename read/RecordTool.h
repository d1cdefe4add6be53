#pragma once

// karvel-read --verify and --records: the weighing record looked at, without a scale.

#include <string>

#include "read/ReadOptions.h"

namespace reader {

// Runs --verify or --records on the record of options.record.url, printing to standard output;
// the exit status.
int RunRecordTool(const ReadOptions& options);

}  // namespace reader
