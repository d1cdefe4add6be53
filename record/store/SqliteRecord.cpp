#include "record/store/SqliteRecord.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <thread>
#include <utility>

namespace record::store {
namespace {

// The SQL is fixed text: every value is bound, never written into a statement.
constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS weighings (
    scale TEXT NOT NULL, seq INTEGER NOT NULL, time_utc TEXT NOT NULL, port TEXT NOT NULL,
    device TEXT NOT NULL, protocol TEXT NOT NULL, text TEXT NOT NULL, value TEXT NOT NULL,
    unit TEXT NOT NULL, stable INTEGER NOT NULL, net INTEGER NOT NULL, "check" TEXT NOT NULL,
    deviation TEXT NOT NULL, pieces TEXT NOT NULL, unit_weight TEXT NOT NULL,
    ticket TEXT NOT NULL, operator TEXT NOT NULL, frame TEXT NOT NULL, software TEXT NOT NULL,
    prev_hash TEXT NOT NULL, hash TEXT NOT NULL, PRIMARY KEY (scale, seq));
CREATE TABLE IF NOT EXISTS events (
    scale TEXT NOT NULL, seq INTEGER NOT NULL, time_utc TEXT NOT NULL, kind TEXT NOT NULL,
    detail TEXT NOT NULL, software TEXT NOT NULL, prev_hash TEXT NOT NULL, hash TEXT NOT NULL,
    PRIMARY KEY (scale, seq));
CREATE TRIGGER IF NOT EXISTS weighings_never_changed BEFORE UPDATE ON weighings
    BEGIN SELECT RAISE(ABORT, 'the weighing record is never changed'); END;
CREATE TRIGGER IF NOT EXISTS weighings_never_deleted BEFORE DELETE ON weighings
    BEGIN SELECT RAISE(ABORT, 'the weighing record is never deleted from'); END;
CREATE TRIGGER IF NOT EXISTS events_never_changed BEFORE UPDATE ON events
    BEGIN SELECT RAISE(ABORT, 'the weighing record is never changed'); END;
CREATE TRIGGER IF NOT EXISTS events_never_deleted BEFORE DELETE ON events
    BEGIN SELECT RAISE(ABORT, 'the weighing record is never deleted from'); END;
)sql";

constexpr const char* kHasSchema =
    "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'weighings'";

struct Statements {
    const char* end;
    const char* insert;
    const char* walk;
    const char* scales;
};

constexpr Statements kWeighingSql = {
    "SELECT seq, hash FROM weighings WHERE scale = ?1 ORDER BY seq DESC LIMIT 1",
    "INSERT INTO weighings (scale, seq, time_utc, port, device, protocol, text, value, unit, "
    "stable, net, \"check\", deviation, pieces, unit_weight, ticket, operator, frame, software, "
    "prev_hash, hash) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, "
    "?16, ?17, ?18, ?19, ?20, ?21)",
    "SELECT scale, seq, time_utc, port, device, protocol, text, value, unit, stable, net, "
    "\"check\", deviation, pieces, unit_weight, ticket, operator, frame, software, prev_hash, "
    "hash FROM weighings WHERE (?1 = '' OR scale = ?1) AND (?2 = '' OR time_utc >= ?2) AND "
    "(?3 = '' OR time_utc < ?3) AND seq > ?4 ORDER BY scale, seq",
    "SELECT DISTINCT scale FROM weighings"};

constexpr Statements kEventSql = {
    "SELECT seq, hash FROM events WHERE scale = ?1 ORDER BY seq DESC LIMIT 1",
    "INSERT INTO events (scale, seq, time_utc, kind, detail, software, prev_hash, hash) VALUES "
    "(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
    "SELECT scale, seq, time_utc, kind, detail, software, prev_hash, hash FROM events WHERE "
    "(?1 = '' OR scale = ?1) AND (?2 = '' OR time_utc >= ?2) AND (?3 = '' OR time_utc < ?3) "
    "AND seq > ?4 ORDER BY scale, seq",
    "SELECT DISTINCT scale FROM events"};

// By the primary key, backwards from `before`.
constexpr const char* kNewestSql =
    "SELECT scale, seq, time_utc, port, device, protocol, text, value, unit, stable, net, "
    "\"check\", deviation, pieces, unit_weight, ticket, operator, frame, software, prev_hash, "
    "hash FROM weighings WHERE scale = ?1 AND (?2 = '' OR time_utc >= ?2) AND seq < ?3 ORDER BY "
    "seq DESC LIMIT ?4";

const Statements& SqlOf(Chain chain) {
    return chain == Chain::kWeighings ? kWeighingSql : kEventSql;
}

struct Finalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

posix::SystemError ErrorOf(sqlite3* db, const std::string& doing) {
    return posix::SystemError::Because(sqlite3_errmsg(db), doing);
}

posix::Result<Statement> PrepareStatement(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
        return ErrorOf(db, "preparing a statement");
    return Statement(statement);
}

void BindText(sqlite3_stmt* statement, int at, std::string_view text) {
    sqlite3_bind_text(statement, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* statement, int at) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, at));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, at)))
                : std::string();
}

posix::Status Execute(sqlite3* db, const char* sql, const std::string& doing) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        return ErrorOf(db, doing);
    return posix::Success();
}

// Another writer holds the lock for one commit at most.
constexpr auto kBusyWait = std::chrono::seconds(10);

// A new file goes over to the write-ahead log under a lock of the whole file, and SQLite says
// busy at once, without waiting, where another connection opens the same new file meanwhile
// (readers sharing one spool): so it is asked again, as a writer's lock is waited for.
posix::Status ToWriteAheadLog(sqlite3* db) {
    const auto until = std::chrono::steady_clock::now() + kBusyWait;
    while (true) {
        const int rc = sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            return posix::Success();
        const bool busy = (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
        if (!busy || std::chrono::steady_clock::now() >= until)
            return ErrorOf(db, "the write-ahead log");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Whether the file holds the record's tables; the statement is done before the log mode changes.
posix::Result<bool> HasSchema(sqlite3* db) {
    auto has = PrepareStatement(db, kHasSchema);
    if (!has)
        return has.Error();
    if (sqlite3_step(has->get()) != SQLITE_ROW)
        return ErrorOf(db, "reading the schema");
    return sqlite3_column_int(has->get(), 0) != 0;
}

ChainRow RowAt(sqlite3_stmt* statement, Chain chain) {
    ChainRow row = EmptyRow(chain);
    row.scale = ColumnText(statement, 0);
    row.seq = static_cast<std::uint64_t>(sqlite3_column_int64(statement, 1));
    int at = 2;
    for (std::string& field : row.fields)
        field = ColumnText(statement, at++);
    row.prevHash = ColumnText(statement, at++);
    row.hash = ColumnText(statement, at);
    return row;
}

// The folder of `path`, made private when it is made here.
posix::Status MakeFolder(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
        return posix::Success();
    std::error_code error;
    if (std::filesystem::create_directories(folder, error))
        ::chmod(folder.c_str(), 0700);
    if (error)
        return posix::SystemError::FromErrno(error.value(), folder.string());
    return posix::Success();
}

}  // namespace

posix::Result<std::unique_ptr<SqliteRecord>> SqliteRecord::Open(const std::string& path,
                                                                Mode mode) {
    if (mode == Mode::kWrite) {
        if (posix::Status made = MakeFolder(path); !made)
            return made.Error();
    }
    const int flags =
        SQLITE_OPEN_NOFOLLOW |
        (mode == Mode::kWrite ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY);
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    auto record = std::make_unique<SqliteRecord>(Key{}, db, path);
    if (opened != SQLITE_OK)
        return ErrorOf(db, path);
    if (posix::Status prepared = record->Prepare(mode); !prepared)
        return prepared.Error();
    return record;
}

void SqliteRecord::Close::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}

posix::Status SqliteRecord::Prepare(Mode mode) {
    sqlite3_busy_timeout(m_db.get(), static_cast<int>(kBusyWait / std::chrono::milliseconds(1)));
    if (mode == Mode::kRead)
        return Execute(m_db.get(), "SELECT count(*) FROM weighings", "reading " + m_path);
    if (posix::Result<bool> has = HasSchema(m_db.get()); has)
        m_created = !*has;
    else
        return has.Error();
    if (posix::Status wal = ToWriteAheadLog(m_db.get()); !wal)
        return wal;
    if (posix::Status sync = Execute(m_db.get(), "PRAGMA synchronous = FULL", "full sync"); !sync)
        return sync;
    return Execute(m_db.get(), kSchema, "making the schema in " + m_path);
}

posix::Result<ChainEnd> SqliteRecord::End(Chain chain, const std::string& scale) {
    auto statement = PrepareStatement(m_db.get(), SqlOf(chain).end);
    if (!statement)
        return statement.Error();
    BindText(statement->get(), 1, scale);
    ChainEnd end;
    const int step = sqlite3_step(statement->get());
    if (step == SQLITE_ROW) {
        end.seq = static_cast<std::uint64_t>(sqlite3_column_int64(statement->get(), 0));
        end.hash = ColumnText(statement->get(), 1);
    } else if (step != SQLITE_DONE)
        return ErrorOf(m_db.get(), "reading the end of a chain");
    return end;
}

posix::Status SqliteRecord::InsertRow(const ChainRow& row) {
    auto statement = PrepareStatement(m_db.get(), SqlOf(row.chain).insert);
    if (!statement)
        return statement.Error();
    sqlite3_stmt* s = statement->get();
    BindText(s, 1, row.scale);
    sqlite3_bind_int64(s, 2, static_cast<sqlite3_int64>(row.seq));
    int at = 3;
    for (const std::string& field : row.fields)
        BindText(s, at++, field);
    BindText(s, at++, row.prevHash);
    BindText(s, at, row.hash);
    if (sqlite3_step(s) != SQLITE_DONE)
        return ErrorOf(m_db.get(), "adding to " + std::string(TableName(row.chain)));
    return posix::Success();
}

posix::Status SqliteRecord::InTransaction(const std::function<posix::Status()>& work) {
    // The write lock first: the end read is the end the row follows, whoever else writes.
    if (posix::Status begun = Execute(m_db.get(), "BEGIN IMMEDIATE", "starting a commit"); !begun)
        return begun;
    posix::Status done = work();
    if (done)
        done = Execute(m_db.get(), "COMMIT", "committing to " + m_path);
    if (!done)
        sqlite3_exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    return done;
}

posix::Result<ChainRow> SqliteRecord::Append(ChainRow row) {
    const posix::Status kept = InTransaction([this, &row]() -> posix::Status {
        auto end = End(row.chain, row.scale);
        if (!end)
            return end.Error();
        Link(&row, *end);
        return InsertRow(row);
    });
    if (!kept)
        return kept.Error();
    return row;
}

posix::Status SqliteRecord::Insert(const ChainRow& linked) {
    return InTransaction([this, &linked] { return InsertRow(linked); });
}

posix::Status SqliteRecord::Walk(Chain chain, const RowQuery& query,
                                 const std::function<bool(const ChainRow&)>& visit) {
    auto statement = PrepareStatement(m_db.get(), SqlOf(chain).walk);
    if (!statement)
        return statement.Error();
    BindText(statement->get(), 1, query.scale);
    BindText(statement->get(), 2, query.since);
    BindText(statement->get(), 3, query.until);
    sqlite3_bind_int64(statement->get(), 4, static_cast<sqlite3_int64>(query.after));
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement->get())) == SQLITE_ROW) {
        if (!visit(RowAt(statement->get(), chain)))
            return posix::Success();
    }
    if (step != SQLITE_DONE)
        return ErrorOf(m_db.get(), "reading " + std::string(TableName(chain)));
    return posix::Success();
}

posix::Result<std::vector<ChainRow>> SqliteRecord::Newest(const PageQuery& query) {
    auto statement = PrepareStatement(m_db.get(), kNewestSql);
    if (!statement)
        return statement.Error();
    sqlite3_stmt* s = statement->get();
    BindText(s, 1, query.scale);
    BindText(s, 2, query.since);
    sqlite3_bind_int64(s, 3,
                       query.before == 0 ? INT64_MAX : static_cast<sqlite3_int64>(query.before));
    sqlite3_bind_int64(s, 4, static_cast<sqlite3_int64>(query.limit + 1));
    std::vector<ChainRow> rows;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(s)) == SQLITE_ROW)
        rows.push_back(RowAt(s, Chain::kWeighings));
    if (step != SQLITE_DONE)
        return ErrorOf(m_db.get(), "reading weighings");
    return rows;
}

posix::Result<std::vector<std::string>> SqliteRecord::Scales(Chain chain) {
    auto statement = PrepareStatement(m_db.get(), SqlOf(chain).scales);
    if (!statement)
        return statement.Error();
    std::vector<std::string> scales;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement->get())) == SQLITE_ROW)
        scales.push_back(ColumnText(statement->get(), 0));
    if (step != SQLITE_DONE)
        return ErrorOf(m_db.get(), "reading the scales of " + std::string(TableName(chain)));
    return scales;
}

}  // namespace record::store
