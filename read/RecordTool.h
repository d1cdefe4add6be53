#pragma once

// karvel-read --verify and --records: the weighing record looked at, without a scale.

#include <memory>
#include <string>

#include "platform/posix/Result.h"
#include "read/ReadOptions.h"
#include "record/store/WeighingRecord.h"

namespace reader {

// The record of --record, its password read from --record-password-file; a warning about the
// file is said.
posix::Result<std::unique_ptr<record::store::WeighingRecord>> OpenChosenRecord(
    const record::store::RecordOptions& options, bool forWriting);

// Runs --verify or --records on the record of options.record.url, printing to standard output;
// the exit status.
int RunRecordTool(const ReadOptions& options);

}  // namespace reader
