#pragma once

// A database that may go away (PostgreSQL for a plant) behind a local SQLite spool: every row is
// linked here and committed to the spool first, so a weighing is durable and numbered while the
// database is unreachable; rows go out in order, chains intact, once it is back. The spool keeps
// a copy of each chain this writer extends, so it knows where each goes on. One writer per scale.
// Rows an earlier run left in the spool go out first, once the database is reached.
//
// Thread: one thread at a time.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "record/store/SqliteRecord.h"
#include "record/store/WeighingRecord.h"

namespace record::store {

class SpooledRecord : public WeighingRecord {
  public:
    using Connect = std::function<posix::Result<std::unique_ptr<WeighingRecord>>()>;
    using Say = std::function<void(const std::string&)>;

    // `connect` opens the database, now and whenever it was lost; the spool is a file of its own.
    // Fails only when the spool cannot be opened.
    static posix::Result<std::unique_ptr<SpooledRecord>> Open(Connect connect,
                                                              const std::string& spoolPath,
                                                              Say say);
    SpooledRecord(std::unique_ptr<SqliteRecord> spool, Connect connect, Say say)
        : m_spool(std::move(spool)), m_connect(std::move(connect)), m_say(std::move(say)) {}

    // A chain whose end neither the spool nor the database can tell is refused.
    posix::Result<ChainRow> Append(ChainRow row) override;
    posix::Status Insert(const ChainRow& linked) override;
    posix::Result<ChainEnd> End(Chain chain, const std::string& scale) override;
    // The database's rows; refused while it is unreachable.
    posix::Status Walk(Chain chain, const RowQuery& query,
                       const std::function<bool(const ChainRow&)>& visit) override;
    // The database's page; refused while it is unreachable.
    posix::Result<std::vector<ChainRow>> Newest(const PageQuery& query) override;
    bool Created() const override { return m_created; }
    std::string Where() const override;
    std::uint64_t Flush() override;

  private:
    // The database, connected again at most once a second; null while unreachable.
    WeighingRecord* Database();
    // Sends the spool's rows of one chain that the database lacks; false when it went away.
    bool Send(Chain chain, const std::string& scale);
    // Once the database is first reached: every chain of the spool that it lacks rows of (an
    // earlier run's too) is to be sent, and what waits is counted anew.
    void Adopt();
    void Lost(const posix::SystemError& error);

    std::unique_ptr<SqliteRecord> m_spool;
    Connect m_connect;
    Say m_say;
    std::unique_ptr<WeighingRecord> m_database;
    std::chrono::steady_clock::time_point m_lastTry{};
    bool m_created = false;
    bool m_tried = false;
    bool m_adopted = false;
    std::uint64_t m_waiting = 0;
    std::map<std::pair<Chain, std::string>, ChainEnd> m_ends;  // the chains this writer extends
};

}  // namespace record::store
