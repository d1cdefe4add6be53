#pragma once

// The weighing record in a PostgreSQL database, for a plant where several readers share one: each
// scale's chain is appended under a lock of its own, every commit is durable when Append returns,
// and a trigger refuses UPDATE, DELETE and TRUNCATE on both tables. The first use makes the schema.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/Result.h"
#include "record/store/WeighingRecord.h"

struct pg_conn;

namespace record::store {

class PostgresRecord : public WeighingRecord {
  public:
    // `url`: postgresql://USER@HOST[:PORT]/DB with libpq's own parameters (sslmode, sslrootcert,
    // host=/socket/folder); `password` empty when libpq finds its own (PGPASSFILE) or needs none.
    // A refused login fails with code EACCES.
    static posix::Result<std::unique_ptr<PostgresRecord>> Open(const std::string& url,
                                                               const std::string& password);

  private:
    struct Key {
        explicit Key() = default;
    };
    struct Close {
        void operator()(pg_conn* connection) const;
    };

  public:
    PostgresRecord(Key, pg_conn* connection, std::string where)
        : m_connection(connection), m_where(std::move(where)) {}

    posix::Result<ChainRow> Append(ChainRow row) override;
    posix::Status Insert(const ChainRow& linked) override;
    posix::Result<ChainEnd> End(Chain chain, const std::string& scale) override;
    posix::Status Walk(Chain chain, const RowQuery& query,
                       const std::function<bool(const ChainRow&)>& visit) override;
    posix::Result<std::vector<ChainRow>> Newest(const PageQuery& query) override;
    bool Created() const override { return m_created; }
    std::string Where() const override { return m_where; }

  private:
    posix::Status MakeSchema();
    // Runs `work` in a transaction that holds the lock of `row`'s chain.
    posix::Status Locked(const ChainRow& row, const std::function<posix::Status()>& work);

    std::unique_ptr<pg_conn, Close> m_connection;
    std::string m_where;
    bool m_created = false;
};

}  // namespace record::store
