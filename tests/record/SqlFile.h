#pragma once

// A record's file changed by hand, as anyone who holds it could: the sqlite3 library, no more.

#include <sqlite3.h>

#include <string>

namespace recordtest {

// Runs `sql` on the file; the error message, empty when it ran.
inline std::string RunSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    char* message = nullptr;
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    const std::string error = message ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    return error;
}

}  // namespace recordtest
