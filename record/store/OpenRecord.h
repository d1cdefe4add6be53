#pragma once

// The record a place names, in SQLite or PostgreSQL, behind the one interface.

#include <memory>
#include <string>

#include "platform/posix/Result.h"
#include "record/store/RecordOptions.h"
#include "record/store/SqliteRecord.h"

namespace record::store {

// `forWriting`: an SQLite file is made when missing (a database's schema is made either way).
// `password`: a database's, or empty.
posix::Result<std::unique_ptr<WeighingRecord>> OpenRecord(const RecordPlace& place, bool forWriting,
                                                          const std::string& password = {});

}  // namespace record::store
