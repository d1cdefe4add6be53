#pragma once

// The weighing record in an SQLite file: write-ahead log, every commit synced, one chain per scale
// in each table, and triggers that refuse UPDATE and DELETE on both tables. Several processes may
// write to one file: each append takes the write lock first.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/Result.h"
#include "record/store/WeighingRecord.h"

struct sqlite3;

namespace record::store {

class SqliteRecord : public WeighingRecord {
  public:
    enum class Mode {
        kWrite,  // made when missing, its folder too (mode 0700), with its schema
        kRead,   // must exist; never written
    };
    static posix::Result<std::unique_ptr<SqliteRecord>> Open(const std::string& path, Mode mode);

  private:
    struct Key {
        explicit Key() = default;
    };
    struct Close {
        void operator()(sqlite3* db) const;
    };

  public:
    SqliteRecord(Key, sqlite3* db, std::string path) : m_db(db), m_path(std::move(path)) {}

    posix::Result<ChainRow> Append(ChainRow row) override;
    posix::Status Insert(const ChainRow& linked) override;
    posix::Result<ChainEnd> End(Chain chain, const std::string& scale) override;
    posix::Status Walk(Chain chain, const RowQuery& query,
                       const std::function<bool(const ChainRow&)>& visit) override;
    bool Created() const override { return m_created; }
    std::string Where() const override { return m_path; }
    posix::Result<std::vector<ChainRow>> Newest(const PageQuery& query) override;
    // Every scale with a row in `chain`.
    posix::Result<std::vector<std::string>> Scales(Chain chain);

  private:
    posix::Status Prepare(Mode mode);
    posix::Status InsertRow(const ChainRow& row);
    // Runs `work` between BEGIN IMMEDIATE and COMMIT, rolled back when it fails.
    posix::Status InTransaction(const std::function<posix::Status()>& work);

    std::unique_ptr<sqlite3, Close> m_db;
    std::string m_path;
    bool m_created = false;
};

}  // namespace record::store
