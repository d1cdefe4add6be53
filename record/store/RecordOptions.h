#pragma once

// The options of the weighing record: --record [URL] and --operator NAME to keep weighings, and
// karvel-read's --verify and --records [--scale ID] [--since TIME] [--until TIME] to look at
// them. Plain C++.

#include <optional>
#include <string>

#include "platform/cli/OptionTable.h"
#include "platform/posix/Result.h"

namespace record::store {

struct RecordOptions {
    bool enabled = false;      // --record given
    std::string url;           // its URL; empty: the default file
    std::string operatorName;  // --operator
    std::string passwordFile;  // --record-password-file; main may set the service credential
    bool verify = false;       // --verify
    bool list = false;         // --records
    std::string scale;         // --scale
    std::string since;         // --since
    std::string until;         // --until
    std::string software;      // the program's own identifier; set by its main
    std::string spool;         // where rows for a database wait; set by its main
    bool Tool() const { return verify || list; }
};

void AddRecordOptions(cli::OptionTable& table, RecordOptions& options);
// What one record option needs of another.
posix::Status CheckRecordOptions(const RecordOptions& options);

// $XDG_STATE_HOME/karvel/weighings.sqlite (else under ~/.local/state).
std::string DefaultRecordPath(const std::string& stateHome, const std::string& home);
// record-spool-HASH.sqlite beside it: the rows that wait for the database of `url`.
std::string SpoolPath(const std::string& stateHome, const std::string& home,
                      const std::string& url);
// What a program's main settles before the record is opened: its own identifier, the default
// file for a URL left out, the spool beside the state, and the service credential
// record-password when no password file is named.
void SettleRecordOptions(RecordOptions& options, std::string software, const std::string& stateHome,
                         const std::string& home, const std::optional<std::string>& credentials);
// Where a record URL points: the SQLite file of "sqlite:PATH" (`defaultPath` for an empty URL), or
// a postgresql:// URL as it is. A URL with a password in it is refused, and so is any other kind.
struct RecordPlace {
    bool postgres = false;
    std::string target;  // the file, or the URL
};
posix::Result<RecordPlace> PlaceOf(const std::string& url, const std::string& defaultPath);

}  // namespace record::store
