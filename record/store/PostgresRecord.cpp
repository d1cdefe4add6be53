#include "record/store/PostgresRecord.h"

#include <libpq-fe.h>

#include <cerrno>
#include <cstdint>

#include <vector>

namespace record::store {
namespace {

// The SQL is fixed text: every value is a parameter, never written into a statement.
constexpr const char* kSchema = R"sql(
SELECT pg_advisory_xact_lock(72627);
CREATE TABLE IF NOT EXISTS weighings (
    scale TEXT NOT NULL, seq BIGINT NOT NULL, time_utc TEXT NOT NULL, port TEXT NOT NULL,
    device TEXT NOT NULL, protocol TEXT NOT NULL, text TEXT NOT NULL, value TEXT NOT NULL,
    unit TEXT NOT NULL, stable INTEGER NOT NULL, net INTEGER NOT NULL, "check" TEXT NOT NULL,
    deviation TEXT NOT NULL, pieces TEXT NOT NULL, unit_weight TEXT NOT NULL,
    ticket TEXT NOT NULL, operator TEXT NOT NULL, frame TEXT NOT NULL, software TEXT NOT NULL,
    prev_hash TEXT NOT NULL, hash TEXT NOT NULL, PRIMARY KEY (scale, seq));
CREATE TABLE IF NOT EXISTS events (
    scale TEXT NOT NULL, seq BIGINT NOT NULL, time_utc TEXT NOT NULL, kind TEXT NOT NULL,
    detail TEXT NOT NULL, software TEXT NOT NULL, prev_hash TEXT NOT NULL, hash TEXT NOT NULL,
    PRIMARY KEY (scale, seq));
CREATE OR REPLACE FUNCTION karvel_record_kept() RETURNS trigger LANGUAGE plpgsql AS $$
    BEGIN RAISE EXCEPTION 'the weighing record is never changed or deleted from'; END $$;
CREATE OR REPLACE TRIGGER weighings_kept BEFORE UPDATE OR DELETE ON weighings
    FOR EACH ROW EXECUTE FUNCTION karvel_record_kept();
CREATE OR REPLACE TRIGGER weighings_kept_whole BEFORE TRUNCATE ON weighings
    FOR EACH STATEMENT EXECUTE FUNCTION karvel_record_kept();
CREATE OR REPLACE TRIGGER events_kept BEFORE UPDATE OR DELETE ON events
    FOR EACH ROW EXECUTE FUNCTION karvel_record_kept();
CREATE OR REPLACE TRIGGER events_kept_whole BEFORE TRUNCATE ON events
    FOR EACH STATEMENT EXECUTE FUNCTION karvel_record_kept();
)sql";

struct Statements {
    const char* end;
    const char* insert;
    const char* walk;
};

constexpr Statements kWeighingSql = {
    "SELECT seq, hash FROM weighings WHERE scale = $1 ORDER BY seq DESC LIMIT 1",
    "INSERT INTO weighings (scale, seq, time_utc, port, device, protocol, text, value, unit, "
    "stable, net, \"check\", deviation, pieces, unit_weight, ticket, operator, frame, software, "
    "prev_hash, hash) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, "
    "$16, $17, $18, $19, $20, $21)",
    "SELECT scale, seq, time_utc, port, device, protocol, text, value, unit, stable, net, "
    "\"check\", deviation, pieces, unit_weight, ticket, operator, frame, software, prev_hash, "
    "hash FROM weighings WHERE ($1 = '' OR scale = $1) AND ($2 = '' OR time_utc >= $2) AND "
    "($3 = '' OR time_utc < $3) AND seq > $4 ORDER BY scale COLLATE \"C\", seq"};

constexpr Statements kEventSql = {
    "SELECT seq, hash FROM events WHERE scale = $1 ORDER BY seq DESC LIMIT 1",
    "INSERT INTO events (scale, seq, time_utc, kind, detail, software, prev_hash, hash) VALUES "
    "($1, $2, $3, $4, $5, $6, $7, $8)",
    "SELECT scale, seq, time_utc, kind, detail, software, prev_hash, hash FROM events WHERE "
    "($1 = '' OR scale = $1) AND ($2 = '' OR time_utc >= $2) AND ($3 = '' OR time_utc < $3) "
    "AND seq > $4 ORDER BY scale COLLATE \"C\", seq"};

// By the primary key, backwards from `before`.
constexpr const char* kNewestSql =
    "SELECT scale, seq, time_utc, port, device, protocol, text, value, unit, stable, net, "
    "\"check\", deviation, pieces, unit_weight, ticket, operator, frame, software, prev_hash, "
    "hash FROM weighings WHERE scale = $1 AND ($2 = '' OR time_utc >= $2) AND seq < $3::bigint "
    "ORDER BY seq DESC LIMIT $4::bigint";

const Statements& SqlOf(Chain chain) {
    return chain == Chain::kWeighings ? kWeighingSql : kEventSql;
}

struct Clear {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Answer = std::unique_ptr<PGresult, Clear>;

posix::SystemError ErrorOf(PGconn* connection, const std::string& doing) {
    std::string text = PQerrorMessage(connection);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return posix::SystemError::Because(text, doing);
}

// Runs `sql` with `values` as its text parameters; the answer, or why there is none.
posix::Result<Answer> Run(PGconn* connection, const char* sql,
                          const std::vector<std::string>& values, const std::string& doing) {
    std::vector<const char*> pointers;
    std::vector<int> lengths;
    for (const std::string& value : values) {
        pointers.push_back(value.c_str());
        lengths.push_back(static_cast<int>(value.size()));
    }
    Answer answer(PQexecParams(connection, sql, static_cast<int>(values.size()), nullptr,
                               pointers.data(), lengths.data(), nullptr, 0));
    const ExecStatusType status = PQresultStatus(answer.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        return ErrorOf(connection, doing);
    return answer;
}

posix::Status Execute(PGconn* connection, const char* sql, const std::string& doing) {
    Answer answer(PQexec(connection, sql));
    if (PQresultStatus(answer.get()) != PGRES_COMMAND_OK &&
        PQresultStatus(answer.get()) != PGRES_TUPLES_OK)
        return ErrorOf(connection, doing);
    return posix::Success();
}

std::string Text(PGresult* answer, int row, int column) {
    return std::string(PQgetvalue(answer, row, column),
                       static_cast<std::size_t>(PQgetlength(answer, row, column)));
}

ChainRow RowAt(PGresult* answer, int at, Chain chain) {
    ChainRow row = EmptyRow(chain);
    row.scale = Text(answer, at, 0);
    row.seq = std::stoull(Text(answer, at, 1));
    int column = 2;
    for (std::string& field : row.fields)
        field = Text(answer, at, column++);
    row.prevHash = Text(answer, at, column++);
    row.hash = Text(answer, at, column);
    return row;
}

std::vector<std::string> ValuesOf(const ChainRow& row) {
    std::vector<std::string> values = {row.scale, std::to_string(row.seq)};
    values.insert(values.end(), row.fields.begin(), row.fields.end());
    values.push_back(row.prevHash);
    values.push_back(row.hash);
    return values;
}

}  // namespace

void PostgresRecord::Close::operator()(pg_conn* connection) const {
    PQfinish(connection);
}

posix::Result<std::unique_ptr<PostgresRecord>> PostgresRecord::Open(const std::string& url,
                                                                    const std::string& password) {
    const char* keys[] = {"dbname", password.empty() ? nullptr : "password", nullptr};
    const char* values[] = {url.c_str(), password.c_str(), nullptr};
    PGconn* connection = PQconnectdbParams(keys, values, 1);
    const std::string where = connection ? std::string(PQdb(connection)) + " on " +
                                               (PQhost(connection) ? PQhost(connection) : "")
                                         : url;
    auto record = std::make_unique<PostgresRecord>(Key{}, connection, where);
    if (!connection)
        return posix::SystemError::Because("out of memory", url);
    if (PQstatus(connection) != CONNECTION_OK) {
        posix::SystemError error = ErrorOf(connection, "connecting to PostgreSQL");
        // A login refused is no database gone away: nothing waits for it.
        if (PQconnectionNeedsPassword(connection) || PQconnectionUsedPassword(connection))
            error.code = EACCES;
        return error;
    }
    // The server's notices ("already exists, skipping") are not the user's business.
    PQsetNoticeProcessor(
        connection, [](void*, const char*) {}, nullptr);
    if (posix::Status made = record->MakeSchema(); !made)
        return made.Error();
    return record;
}

posix::Status PostgresRecord::MakeSchema() {
    PGconn* connection = m_connection.get();
    auto found = Run(connection, "SELECT to_regclass('weighings') IS NULL", {}, "the schema");
    if (!found)
        return found.Error();
    m_created = Text(found->get(), 0, 0) == "t";
    if (posix::Status begun = Execute(connection, "BEGIN", "the schema"); !begun)
        return begun;
    if (posix::Status made = Execute(connection, kSchema, "making the schema"); !made) {
        Answer(PQexec(connection, "ROLLBACK"));
        return made;
    }
    return Execute(connection, "COMMIT", "making the schema");
}

posix::Result<ChainEnd> PostgresRecord::End(Chain chain, const std::string& scale) {
    auto answer = Run(m_connection.get(), SqlOf(chain).end, {scale}, "the end of a chain");
    if (!answer)
        return answer.Error();
    ChainEnd end;
    if (PQntuples(answer->get()) == 1)
        end = ChainEnd{std::stoull(Text(answer->get(), 0, 0)), Text(answer->get(), 0, 1)};
    return end;
}

posix::Status PostgresRecord::Locked(const ChainRow& row,
                                     const std::function<posix::Status()>& work) {
    PGconn* connection = m_connection.get();
    if (posix::Status begun = Execute(connection, "BEGIN", "starting a commit"); !begun)
        return begun;
    // The scale's own lock: two writers of one scale never take the same seq.
    const std::string lock = std::string(TableName(row.chain)) + "/" + row.scale;
    auto locked = Run(connection, "SELECT pg_advisory_xact_lock(hashtextextended($1, 0))", {lock},
                      "locking the chain");
    posix::Status done = locked ? work() : posix::Status(locked.Error());
    if (done)
        done = Execute(connection, "COMMIT", "committing");
    if (!done)
        Answer(PQexec(connection, "ROLLBACK"));
    return done;
}

posix::Result<ChainRow> PostgresRecord::Append(ChainRow row) {
    const posix::Status kept = Locked(row, [this, &row]() -> posix::Status {
        auto end = End(row.chain, row.scale);
        if (!end)
            return end.Error();
        Link(&row, *end);
        return Insert(row);
    });
    if (!kept)
        return kept.Error();
    return row;
}

posix::Status PostgresRecord::Insert(const ChainRow& linked) {
    auto inserted = Run(m_connection.get(), SqlOf(linked.chain).insert, ValuesOf(linked),
                        "adding to " + std::string(TableName(linked.chain)));
    if (!inserted)
        return inserted.Error();
    return posix::Success();
}

posix::Status PostgresRecord::Walk(Chain chain, const RowQuery& query,
                                   const std::function<bool(const ChainRow&)>& visit) {
    auto answer = Run(m_connection.get(), SqlOf(chain).walk,
                      {query.scale, query.since, query.until, std::to_string(query.after)},
                      "reading " + std::string(TableName(chain)));
    if (!answer)
        return answer.Error();
    for (int at = 0; at < PQntuples(answer->get()); ++at) {
        if (!visit(RowAt(answer->get(), at, chain)))
            break;
    }
    return posix::Success();
}

posix::Result<std::vector<ChainRow>> PostgresRecord::Newest(const PageQuery& query) {
    const std::string before =
        query.before == 0 ? std::to_string(INT64_MAX) : std::to_string(query.before);
    auto answer = Run(m_connection.get(), kNewestSql,
                      {query.scale, query.since, before, std::to_string(query.limit + 1)},
                      "reading weighings");
    if (!answer)
        return answer.Error();
    std::vector<ChainRow> rows;
    for (int at = 0; at < PQntuples(answer->get()); ++at)
        rows.push_back(RowAt(answer->get(), at, Chain::kWeighings));
    return rows;
}

}  // namespace record::store
