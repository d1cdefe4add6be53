#pragma once

// Where weighings are kept for good: one interface over each database that holds the record.
// Every row is committed durably before Append returns, and a row once kept is never changed.
//
// Thread: one thread at a time per object.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/Result.h"
#include "record/store/Chain.h"

namespace record::store {

// Which rows a walk visits; an empty member selects all.
struct RowQuery {
    std::string scale{};
    std::string since{};      // time_utc at or after this text ("2026-12-09", "2026-12-09T10:00")
    std::string until{};      // time_utc before it
    std::uint64_t after = 0;  // only seqs above this
};

// One page of a scale's weighings, newest first.
struct PageQuery {
    std::string scale;
    std::string since{};        // time_utc at or after this text
    std::uint64_t before = 0;   // only seqs below it; 0: up to the newest
    std::uint64_t limit = 100;  // rows a page holds
};

class WeighingRecord {
  public:
    virtual ~WeighingRecord() = default;

    // Gives `row` the next seq of its scale's chain, prev_hash and hash, and commits it: on the
    // disk when this returns. The row as kept.
    virtual posix::Result<ChainRow> Append(ChainRow row) = 0;
    // Keeps a row linked elsewhere as it is (a spool's row going out); refused when its seq is
    // taken.
    virtual posix::Status Insert(const ChainRow& linked) = 0;
    // The end of `scale`'s chain in `chain`.
    virtual posix::Result<ChainEnd> End(Chain chain, const std::string& scale) = 0;
    // Sends what waits, where rows wait before they reach the database; how many still wait.
    virtual std::uint64_t Flush() { return 0; }
    // Every row of `chain` that `query` selects, by scale then seq, handed to `visit` until it
    // answers false.
    virtual posix::Status Walk(Chain chain, const RowQuery& query,
                               const std::function<bool(const ChainRow&)>& visit) = 0;
    // The weighings `query` selects, newest first: at most one more than its limit, which tells
    // that older ones follow. By default a walk of the scale's whole chain; a database answers
    // from its index instead, in time that does not grow with the chain.
    virtual posix::Result<std::vector<ChainRow>> Newest(const PageQuery& query);
    // The schema was made by this open: the record is new.
    virtual bool Created() const = 0;
    // Where it is, in words ("/path/weighings.sqlite").
    virtual std::string Where() const = 0;
};

}  // namespace record::store
