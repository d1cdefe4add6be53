#pragma once

// The record a place names, in SQLite or PostgreSQL, behind the one interface.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/posix/Result.h"
#include "record/store/RecordOptions.h"
#include "record/store/SqliteRecord.h"

namespace record::store {

// How a record is opened.
struct OpenFor {
    bool writing = false;    // an SQLite file is made when missing (a database's schema either way)
    std::string password{};  // a database's, or empty
    std::string spool{};     // writing to a database: its rows wait here while it is unreachable
    std::function<void(const std::string&)> say{};  // what the spool says of the database
};
posix::Result<std::unique_ptr<WeighingRecord>> OpenRecord(const RecordPlace& place,
                                                          const OpenFor& how);

// Reads a password file as the program reads its other secrets: the password, or none with
// `error` set; `warning` when others may read it.
using ReadSecret = std::function<std::optional<std::string>(
    const std::string& path, std::string* error, std::string* warning)>;
// The record of `options` (settled by SettleRecordOptions), a database's password read from
// --record-password-file by `read`; a warning about the file is said.
posix::Result<std::unique_ptr<WeighingRecord>> OpenChosenRecord(
    const RecordOptions& options, bool writing, const ReadSecret& read,
    const std::function<void(const std::string&)>& say);

}  // namespace record::store
