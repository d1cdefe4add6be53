// The weighing record in SQLite files the tests make: chains that --verify walks, broken by hand
// with the sqlite3 library as anyone with the file could; triggers that refuse changes; texts
// that SQL would mistake; seqs that go on across opens; and the sink that commits before any
// other sink sees the weighing.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "record/Sink.h"
#include "record/store/RecordSink.h"
#include "record/store/SpooledRecord.h"
#include "record/store/SqliteRecord.h"
#include "record/store/Verify.h"
#include "tests/record/SqlFile.h"
#include "tests/support/WaitFor.h"
#include "tools/peers/TestFiles.h"

namespace {

using record::store::Break;
using record::store::Chain;
using record::store::ChainRow;
using record::store::SqliteRecord;

std::unique_ptr<SqliteRecord> OpenRecord(const std::string& path,
                                         SqliteRecord::Mode mode = SqliteRecord::Mode::kWrite) {
    auto opened = SqliteRecord::Open(path, mode);
    if (!opened)
        ADD_FAILURE() << opened.Error().Describe();
    return opened ? std::move(*opened) : nullptr;
}

ChainRow Weighing(const std::string& scale, const std::string& value) {
    ChainRow row = record::store::EmptyRow(Chain::kWeighings);
    row.scale = scale;
    row.SetField("time_utc", "2026-12-09T10:00:00.000Z");
    row.SetField("value", value);
    row.SetField("unit", "kg");
    return row;
}

std::vector<ChainRow> RowsOf(SqliteRecord& kept, Chain chain) {
    std::vector<ChainRow> rows;
    const posix::Status walked = kept.Walk(chain, {}, [&rows](const ChainRow& row) {
        rows.push_back(row);
        return true;
    });
    EXPECT_TRUE(walked) << walked.Error().Describe();
    return rows;
}

using recordtest::RunSql;

constexpr const char* kDropTriggers =
    "DROP TRIGGER weighings_never_changed; DROP TRIGGER weighings_never_deleted; "
    "DROP TRIGGER events_never_changed; DROP TRIGGER events_never_deleted;";

// Scales a and b, five weighings each (values 1..5), and two events of a.
void FillRecord(const std::string& path) {
    auto kept = OpenRecord(path);
    ASSERT_TRUE(kept);
    for (int i = 1; i <= 5; ++i) {
        for (const char* scale : {"a", "b"})
            ASSERT_TRUE(kept->Append(Weighing(scale, std::to_string(i))));
    }
    for (const char* kind : {"start", "stop"}) {
        ChainRow event = record::store::EmptyRow(Chain::kEvents);
        event.scale = "a";
        event.SetField("kind", kind);
        ASSERT_TRUE(kept->Append(event));
    }
}

// A row that follows row 2 of scale a correctly, as one who knows the canonical form makes it.
std::string ForgedRowSql(const std::string& path, std::uint64_t seq, bool linked) {
    auto kept = OpenRecord(path, SqliteRecord::Mode::kRead);
    const std::vector<ChainRow> rows = RowsOf(*kept, Chain::kWeighings);
    ChainRow forged = Weighing("a", "9");
    record::store::Link(&forged, {seq - 1, linked ? rows.at(1).hash : std::string(64, 'f')});
    return "INSERT INTO weighings (scale, seq, time_utc, port, device, protocol, text, value, "
           "unit, stable, net, \"check\", deviation, pieces, unit_weight, ticket, operator, "
           "frame, software, prev_hash, hash) VALUES ('a', " +
           std::to_string(seq) +
           ", '2026-12-09T10:00:00.000Z', '', '', '', '', '9', 'kg', '', '', '', '', '', '', "
           "'', '', '', '', '" +
           forged.prevHash + "', '" + forged.hash + "')";
}

TEST(WeighingRecord, VerifyNamesTheScaleSeqAndWhyOfTheFirstRowChangedRemovedOrPutIn) {
    struct Case {
        const char* name;
        std::string sql;  // after the triggers are dropped; {forged N} is made per case
        Chain chain;
        std::uint64_t seq;
        Break::Why why;
    };
    const std::string renumber =
        "UPDATE weighings SET seq = -seq WHERE scale = 'a' AND seq >= 3; "
        "UPDATE weighings SET seq = 1 - seq WHERE scale = 'a' AND seq < 0; ";
    const Case cases[] = {
        {"a value changed", "UPDATE weighings SET value = '9' WHERE scale = 'a' AND seq = 3",
         Chain::kWeighings, 3, Break::Why::kHash},
        {"a row removed", "DELETE FROM weighings WHERE scale = 'a' AND seq = 3", Chain::kWeighings,
         4, Break::Why::kGap},
        {"the last row removed and another put in its place", "", Chain::kWeighings, 5,
         Break::Why::kChain},
        {"a row put in, those after renumbered", renumber, Chain::kWeighings, 4, Break::Why::kHash},
        {"an event changed", "UPDATE events SET kind = 'tare' WHERE seq = 1", Chain::kEvents, 1,
         Break::Why::kHash},
    };
    for (const Case& c : cases) {
        testing_support::TempDir dir;
        const std::string path = dir / "weighings.sqlite";
        FillRecord(path);
        std::string sql = c.sql;
        if (c.why == Break::Why::kChain)
            sql = "DELETE FROM weighings WHERE scale = 'a' AND seq = 5; " +
                  ForgedRowSql(path, 5, false);
        else if (sql == renumber)
            sql += ForgedRowSql(path, 3, true);
        ASSERT_EQ(RunSql(path, std::string(kDropTriggers) + sql), "") << c.name;

        auto kept = OpenRecord(path, SqliteRecord::Mode::kRead);
        const auto verdict = record::store::Verify(*kept);
        ASSERT_TRUE(verdict) << c.name;
        // Only scale a's chain breaks, once, where it was touched.
        ASSERT_EQ(verdict->breaks.size(), 1u) << c.name;
        const Break& found = verdict->breaks.front();
        EXPECT_EQ(found.chain, c.chain) << c.name;
        EXPECT_EQ(found.scale, "a") << c.name;
        EXPECT_EQ(found.seq, c.seq) << c.name << ": " << record::store::Describe(found);
        EXPECT_EQ(found.why, c.why) << c.name << ": " << record::store::Describe(found);
        EXPECT_TRUE(record::store::Summary(*verdict).ends_with(" scales: broken")) << c.name;
    }
}

TEST(WeighingRecord, AnUntouchedRecordIsIntact) {
    testing_support::TempDir dir;
    FillRecord(dir / "weighings.sqlite");
    auto kept = OpenRecord(dir / "weighings.sqlite", SqliteRecord::Mode::kRead);
    const auto verdict = record::store::Verify(*kept);
    ASSERT_TRUE(verdict);
    EXPECT_EQ(record::store::Summary(*verdict), "10 weighings, 2 events, 2 scales: intact");
}

TEST(WeighingRecord, TriggersRefuseUpdateAndDeleteOnBothTables) {
    testing_support::TempDir dir;
    const std::string path = dir / "weighings.sqlite";
    FillRecord(path);
    const struct {
        const char* sql;
        const char* refusal;
    } cases[] = {
        {"UPDATE weighings SET value = '9' WHERE seq = 1", "never changed"},
        {"DELETE FROM weighings WHERE seq = 5", "never deleted"},
        {"UPDATE events SET kind = 'x'", "never changed"},
        {"DELETE FROM events", "never deleted"},
    };
    for (const auto& c : cases)
        EXPECT_NE(RunSql(path, c.sql).find(c.refusal), std::string::npos) << c.sql;
    auto kept = OpenRecord(path, SqliteRecord::Mode::kRead);
    EXPECT_EQ(record::store::Summary(*record::store::Verify(*kept)),
              "10 weighings, 2 events, 2 scales: intact");
}

TEST(WeighingRecord, TextsSqlWouldMistakeAreKeptByteForByte) {
    const std::vector<std::string> texts = {"a'; DROP TABLE weighings; --",
                                            "O'Brien \"the\" \\ %_ ?1 :x @y $z",
                                            "k'g\r\n\t",
                                            "\xff\xfe not UTF-8 \xc3",
                                            "\xe2\x80\xae right-to-left",
                                            std::string(5000, '\''),
                                            ""};
    testing_support::TempDir dir;
    std::vector<ChainRow> kept;
    {
        auto record = OpenRecord(dir / "weighings.sqlite");
        ASSERT_TRUE(record);
        for (const std::string& text : texts) {
            ChainRow row = Weighing(text, text);
            for (std::string& field : row.fields)
                field = text;
            const auto appended = record->Append(row);
            ASSERT_TRUE(appended) << appended.Error().Describe();
            kept.push_back(*appended);
        }
    }
    auto record = OpenRecord(dir / "weighings.sqlite", SqliteRecord::Mode::kRead);
    std::vector<ChainRow> read = RowsOf(*record, Chain::kWeighings);
    std::sort(kept.begin(), kept.end(),
              [](const ChainRow& x, const ChainRow& y) { return x.scale < y.scale; });
    EXPECT_EQ(read, kept);
    EXPECT_TRUE(record::store::Verify(*record)->breaks.empty());
    // The query's values are bound too: a scale named like SQL selects only itself.
    std::size_t selected = 0;
    ASSERT_TRUE(record->Walk(Chain::kWeighings, {.scale = texts[0]}, [&](const ChainRow& row) {
        EXPECT_EQ(row.scale, texts[0]);
        return ++selected > 0;
    }));
    EXPECT_EQ(selected, 1u);
}

TEST(WeighingRecord, EachScaleNumbersFromOneWithoutGapsAcrossOpens) {
    testing_support::TempDir dir;
    const std::string path = dir / "state/weighings.sqlite";
    std::vector<std::uint64_t> seqs;
    for (int open = 0; open < 3; ++open) {
        auto kept = OpenRecord(path);
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->Created(), open == 0);
        for (const char* scale : {"a", "a", "b"})
            seqs.push_back(kept->Append(Weighing(scale, "1"))->seq);
    }
    EXPECT_EQ(seqs, (std::vector<std::uint64_t>{1, 2, 1, 3, 4, 2, 5, 6, 3}));
    // Made private: the weighings are nobody else's to read.
    EXPECT_EQ(std::filesystem::status(dir / "state").permissions(),
              std::filesystem::perms::owner_all);
}

TEST(WeighingRecord, ReadersOpeningOneNewFileAtOnceAllOpenIt) {
    // Readers on one machine share the spool; the first of them makes it.
    testing_support::TempDir dir;
    for (int round = 0; round < 50; ++round) {
        const std::string path = dir / ("spool" + std::to_string(round) + ".sqlite");
        std::atomic<int> waiting{4};
        std::vector<std::string> failures;
        std::mutex lock;
        std::vector<std::thread> readers;
        for (int reader = 0; reader < 4; ++reader)
            readers.emplace_back([&] {
                for (--waiting; waiting > 0;)
                    std::this_thread::yield();
                auto opened = SqliteRecord::Open(path, SqliteRecord::Mode::kWrite);
                const std::lock_guard hold(lock);
                if (!opened)
                    failures.push_back(opened.Error().Describe());
            });
        for (std::thread& reader : readers)
            reader.join();
        ASSERT_EQ(failures, std::vector<std::string>{}) << "round " << round;
    }
}

// Notes what the record holds at the moment it sees the weighing.
class LaterSink : public record::ReadingSink {
  public:
    explicit LaterSink(std::string path) : m_path(std::move(path)) {}
    bool Take(const record::Captured& captured) override {
        auto kept = OpenRecord(m_path, SqliteRecord::Mode::kRead);
        seen.push_back(captured.Json() +
                       " kept:" + std::to_string(RowsOf(*kept, Chain::kWeighings).size()));
        return true;
    }
    std::vector<std::string> seen;

  private:
    std::string m_path;
};

// A database that has gone away.
class RefusingRecord : public record::store::WeighingRecord {
  public:
    posix::Result<ChainRow> Append(ChainRow) override {
        return posix::SystemError::Because("disk I/O error");
    }
    posix::Status Insert(const ChainRow&) override {
        return posix::SystemError::Because("disk I/O error");
    }
    posix::Result<record::store::ChainEnd> End(Chain, const std::string&) override {
        return posix::SystemError::Because("disk I/O error");
    }
    posix::Status Walk(Chain, const record::store::RowQuery&,
                       const std::function<bool(const ChainRow&)>&) override {
        return posix::Success();
    }
    bool Created() const override { return false; }
    std::string Where() const override { return "nowhere"; }
};

TEST(RecordSink, CommitsBeforeAnyOtherSinkSeesTheWeighingAndStopsItWhenItCannot) {
    testing_support::TempDir dir;
    const std::string path = dir / "weighings.sqlite";
    for (const bool refuses : {false, true}) {
        std::vector<std::string> said;
        std::unique_ptr<record::store::WeighingRecord> kept;
        if (refuses)
            kept = std::make_unique<RefusingRecord>();
        else
            kept = OpenRecord(path);
        auto sink = std::make_unique<record::store::RecordSink>(
            std::move(kept), record::store::RecordSink::Identity{"Ann", "test 1"},
            [&said](const std::string& line) { said.push_back(line); }, 6, 3);
        sink->Begin("bench", "reading COM1");
        auto later = std::make_unique<LaterSink>(path);
        LaterSink* seen = later.get();
        record::SinkList list;
        list.Add(std::move(sink));
        list.Add(std::move(later));
        record::CapturedReading reading;
        reading.reading.text = "1.5";
        EXPECT_EQ(list.Hand(reading, "bench"), !refuses);
        EXPECT_EQ(list.Finish(0), refuses ? 6 : 0);
        if (refuses) {
            EXPECT_TRUE(seen->seen.empty());
            ASSERT_FALSE(said.empty());
            EXPECT_EQ(said.front(), "--record: disk I/O error");
            continue;
        }
        ASSERT_EQ(seen->seen.size(), 1u);
        EXPECT_TRUE(seen->seen[0].ends_with(",\"record\":1} kept:1")) << seen->seen[0];
        auto reopened = OpenRecord(path, SqliteRecord::Mode::kRead);
        const auto rows = RowsOf(*reopened, Chain::kWeighings);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].Field("operator"), "Ann");
        EXPECT_EQ(rows[0].Field("text"), "1.5");
        std::vector<std::string> kinds;
        for (const ChainRow& event : RowsOf(*reopened, Chain::kEvents))
            kinds.push_back(event.Field("kind") + " " + event.Field("detail"));
        EXPECT_EQ(kinds, (std::vector<std::string>{"start reading COM1", "stop exit status 0"}));
    }
}

// A page of one scale's weighings, newest first, one row more than its limit when older ones
// follow: the index's answer and a walk of the whole chain agree.
TEST(WeighingRecord, PagesNewestFirstBySeqFromTheIndexAsAWalkWould) {
    testing_support::TempDir dir;
    const std::string path = dir / "w.sqlite";
    FillRecord(path);
    auto kept = OpenRecord(path, SqliteRecord::Mode::kRead);
    ASSERT_TRUE(kept);
    const struct {
        record::store::PageQuery query;
        std::vector<std::uint64_t> seqs;
    } cases[] = {
        {{"a"}, {5, 4, 3, 2, 1}},
        {{"a", "", 0, 2}, {5, 4, 3}},
        {{"a", "", 4, 2}, {3, 2, 1}},
        {{"b", "", 2, 2}, {1}},
        {{"a", "", 1, 2}, {}},
        {{"c"}, {}},
        {{"a", "2026-12-09T10:00", 0, 1}, {5, 4}},
        {{"a", "2026-12-10", 0, 1}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query.scale + " " + c.query.since + " " + std::to_string(c.query.before));
        const auto indexed = kept->Newest(c.query);
        const auto walked = kept->WeighingRecord::Newest(c.query);
        ASSERT_TRUE(indexed && walked);
        std::vector<std::uint64_t> seqs;
        for (const ChainRow& row : *indexed)
            seqs.push_back(row.seq);
        EXPECT_EQ(seqs, c.seqs);
        EXPECT_EQ(*indexed, *walked);
    }
}

// The database a spool stands before is another SQLite file here, reached while `up` says so.
// What an earlier run left in the spool goes out first once the database is reached, at the
// start or later, and this run's rows follow it.
TEST(SpooledRecord, RowsAnEarlierRunLeftGoFirstOnceTheDatabaseIsReached) {
    for (const bool upAtStart : {true, false}) {
        SCOPED_TRACE(upAtStart);
        testing_support::TempDir dir;
        const std::string spool = dir / "spool.sqlite", database = dir / "database.sqlite";
        bool up = false;
        const auto connect =
            [&]() -> posix::Result<std::unique_ptr<record::store::WeighingRecord>> {
            if (!up)
                return posix::SystemError::Because("the database is away");
            return std::unique_ptr<record::store::WeighingRecord>(OpenRecord(database));
        };
        const auto said = [](const std::string&) {};
        const auto kept = [&database] { return OpenRecord(database)->End(Chain::kWeighings, "a"); };
        // A run that reached the database, then one that never did.
        for (const int run : {0, 1}) {
            up = run == 0;
            auto earlier = record::store::SpooledRecord::Open(connect, spool, said);
            ASSERT_TRUE(earlier);
            for (int i = run == 0 ? 1 : 2; i <= (run == 0 ? 1 : 3); ++i)
                ASSERT_TRUE((*earlier)->Append(Weighing("a", std::to_string(i))));
            EXPECT_EQ((*earlier)->Flush(), run == 0 ? 0u : 2u);
        }
        ASSERT_EQ(kept()->seq, 1u);
        up = upAtStart;
        auto next = record::store::SpooledRecord::Open(connect, spool, said);
        ASSERT_TRUE(next);
        up = true;
        // The database is tried again at most once a second.
        EXPECT_TRUE(testing_support::WaitFor([&] {
            (*next)->Flush();
            return kept()->seq == 3;
        }));
        EXPECT_EQ((*next)->Flush(), 0u);
        const auto appended = (*next)->Append(Weighing("a", "4"));
        ASSERT_TRUE(appended);
        EXPECT_EQ(appended->seq, 4u);
        EXPECT_EQ(kept()->hash, appended->hash);
        EXPECT_EQ(RowsOf(*OpenRecord(database), Chain::kWeighings),
                  RowsOf(*OpenRecord(spool), Chain::kWeighings));
    }
}

TEST(CanonicalForm, IsNetstringsAnyoneCanWriteAndReadsBack) {
    ChainRow event = record::store::EmptyRow(Chain::kEvents);
    event.scale = "b,1:";
    event.seq = 12;
    event.prevHash = "ab";
    event.fields = {"2026-12-09T10:00:00.000Z", "start", "", "karvel-read 1"};
    EXPECT_EQ(record::store::CanonicalForm(event),
              "14:karvel-event-1,2:ab,4:b,1:,2:12,24:2026-12-09T10:00:00.000Z,5:start,0:,"
              "13:karvel-read 1,");
    EXPECT_EQ(record::store::ParseCanonical(record::store::CanonicalForm(event)), event);
    for (const char* bad : {"", "14:karvel-event-1,", "3:abc", "01:a,"})
        EXPECT_FALSE(record::store::ParseCanonical(bad)) << bad;
}

}  // namespace
