#pragma once

// karvel-read --verify and --records: the weighing record looked at, without a scale.

#include <memory>
#include <string>

#include "platform/posix/Result.h"
#include "read/ReadOptions.h"
#include "record/store/WeighingRecord.h"
#include "web/HttpBridge.h"

namespace reader {

// The record of --record, its password read from --record-password-file; a warning about the
// file is said.
posix::Result<std::unique_ptr<record::store::WeighingRecord>> OpenChosenRecord(
    const record::store::RecordOptions& options, bool forWriting);

// One page of the weighings of `scale` for GET /api/v1/records, newest first:
// {"scale":...,"records":[rows as --records prints them],"next":the next page's before, or null}.
posix::Result<std::string> RecordsPage(const record::store::RecordOptions& options,
                                       const std::string& scale, const web::RecordsAsked& asked);

// Runs --verify or --records on the record of options.record.url, printing to standard output;
// the exit status.
int RunRecordTool(const ReadOptions& options);

}  // namespace reader
