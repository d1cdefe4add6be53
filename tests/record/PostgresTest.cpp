// The weighing record in a real PostgreSQL cluster the test makes: chains kept and read back as
// in SQLite, texts SQL would mistake kept exactly, seqs that go on across connections, the
// trigger that refuses UPDATE, DELETE and TRUNCATE, and a row changed behind it found by verify.

#include <libpq-fe.h>
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "record/store/PostgresRecord.h"
#include "record/store/Verify.h"
#include "tests/read/ReadTestSupport.h"
#include "tools/peers/FamilyPeer.h"
#include "tools/peers/PgCluster.h"
#include "tools/peers/PortDirectory.h"

namespace {

using record::store::Chain;
using record::store::ChainRow;
using record::store::PostgresRecord;

// Runs `sql` as the tables' owner; the error, empty when it ran.
std::string RunSql(const std::string& url, const std::string& sql) {
    PGconn* connection = PQconnectdb(url.c_str());
    PGresult* result = PQexec(connection, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    const std::string error =
        status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK ? "" : PQerrorMessage(connection);
    PQclear(result);
    PQfinish(connection);
    return error;
}

std::unique_ptr<PostgresRecord> Open(const std::string& url) {
    auto opened = PostgresRecord::Open(url, {});
    if (!opened)
        ADD_FAILURE() << opened.Error().Describe();
    return opened ? std::move(*opened) : nullptr;
}

TEST(PostgresRecord, KeepsChainsTextsAndSeqsAndRefusesChanges) {
    recordtest::PgCluster cluster;
    ASSERT_EQ(cluster.Why(), "");
    const std::vector<std::string> texts = {
        "a'; DROP TABLE weighings; --", "O'Brien \"the\" \\ %_ $1 ?1 :x", "k'g\r\n\t",
        "\xe2\x80\xae right-to-left",   std::string(5000, '\''),          ""};
    std::vector<ChainRow> kept;
    for (int open = 0; open < 2; ++open) {
        auto record = Open(cluster.Url());
        ASSERT_TRUE(record);
        EXPECT_EQ(record->Created(), open == 0);
        for (const std::string& text : texts) {
            ChainRow row = record::store::EmptyRow(Chain::kWeighings);
            row.scale = text;
            for (std::string& field : row.fields)
                field = text;
            // The flags are numbers in PostgreSQL; only the program's 1 and 0 go there.
            row.SetField("stable", "1");
            row.SetField("net", "0");
            const auto appended = record->Append(row);
            ASSERT_TRUE(appended) << appended.Error().Describe();
            EXPECT_EQ(appended->seq, static_cast<std::uint64_t>(open + 1));
            kept.push_back(*appended);
        }
    }
    auto record = Open(cluster.Url());
    std::vector<ChainRow> read;
    ASSERT_TRUE(record->Walk(Chain::kWeighings, {}, [&read](const ChainRow& row) {
        read.push_back(row);
        return true;
    }));
    std::sort(kept.begin(), kept.end(), [](const ChainRow& x, const ChainRow& y) {
        return x.scale != y.scale ? x.scale < y.scale : x.seq < y.seq;
    });
    EXPECT_EQ(read, kept);
    EXPECT_EQ(record::store::Summary(*record::store::Verify(*record)),
              "12 weighings, 0 events, 6 scales: intact");

    for (const char* sql : {"UPDATE weighings SET value = '9'", "DELETE FROM weighings",
                            "TRUNCATE weighings", "TRUNCATE events"})
        EXPECT_NE(RunSql(cluster.Url(), sql).find("never changed or deleted from"),
                  std::string::npos)
            << sql;
    ASSERT_EQ(RunSql(cluster.Url(),
                     "ALTER TABLE weighings DISABLE TRIGGER weighings_kept; "
                     "UPDATE weighings SET unit = 'g' WHERE seq = 2 AND scale = ''"),
              "");
    const auto verdict = record::store::Verify(*record);
    ASSERT_TRUE(verdict);
    ASSERT_EQ(verdict->breaks.size(), 1u);
    EXPECT_EQ(record::store::Describe(verdict->breaks[0]),
              "weighings of scale '', seq 2: its fields do not give its hash (the row was "
              "changed)");
}

// A page from the index, newest first, as a walk of the whole chain would give it.
TEST(PostgresRecord, PagesNewestFirstBySeqFromTheIndex) {
    recordtest::PgCluster cluster;
    ASSERT_EQ(cluster.Why(), "");
    auto record = Open(cluster.Url());
    ASSERT_TRUE(record);
    for (int i = 0; i < 5; ++i) {
        ChainRow row = record::store::EmptyRow(Chain::kWeighings);
        row.scale = "a";
        row.SetField("time_utc", "2026-12-09T10:00:0" + std::to_string(i));
        row.SetField("stable", "1");
        row.SetField("net", "0");
        ASSERT_TRUE(record->Append(row));
    }
    for (const record::store::PageQuery& query :
         {record::store::PageQuery{"a", "", 4, 2}, {"a", "2026-12-09T10:00:03", 0, 5}, {"b"}}) {
        const auto indexed = record->Newest(query);
        const auto walked = record->WeighingRecord::Newest(query);
        ASSERT_TRUE(indexed && walked);
        EXPECT_EQ(*indexed, *walked);
    }
    const auto page = record->Newest({"a", "", 4, 2});
    ASSERT_TRUE(page);
    std::vector<std::uint64_t> seqs;
    for (const ChainRow& row : *page)
        seqs.push_back(row.seq);
    EXPECT_EQ(seqs, (std::vector<std::uint64_t>{3, 2, 1}));
}

TEST(PostgresRecord, TwoReadersShareOneDatabaseEachWithItsOwnChain) {
    recordtest::PgCluster cluster;
    ASSERT_EQ(cluster.Why(), "");
    testing_support::TempDir state;
    testing_support::ScopedEnv stateHome("XDG_STATE_HOME", state.Path().string());
    testing_support::PortDirectory ports;
    testing_support::ScopedEnv portDir("KARVEL_PORT_DIR", ports.Path());
    const testing_support::FamilyPeer::Talk talk{
        9600, {"ST,+00012.34  g\r\n", "US,+00012.40  g\r\n"}, std::chrono::milliseconds(5), {}};
    testing_support::FamilyPeer first(talk), second(talk);
    ports.Map(1, first.DevicePath());
    ports.Map(2, second.DevicePath());
    std::vector<std::unique_ptr<readtest::Child>> readers;
    for (const char* port : {"COM1", "COM2"})
        readers.push_back(std::make_unique<readtest::Child>(
            std::vector<std::string>{readtest::ReaderPath(), "--protocol", "and", "--port", port,
                                     "--capture", "every", "--id", std::string("bench-") + port,
                                     "--count", "30", "--quiet", "--record", cluster.Url()}));
    for (const auto& reader : readers)
        EXPECT_EQ(reader->Wait(), 0) << reader->Errors();

    testing_support::TempDir scratch;
    const auto verified = testing_support::RunProgram(
        readtest::ReaderPath(), {"--verify", "--record", cluster.Url()}, scratch.Path());
    EXPECT_EQ(verified.exitStatus, 0) << verified.err;
    EXPECT_EQ(verified.out, "60 weighings, 4 events, 2 scales: intact\n");
}

// A cluster, a state folder of the test's own (the spool goes there) and an A&D scale on COM1
// streaming two weighings over and over.
class ReaderBench {
  public:
    explicit ReaderBench(const std::string& password = {}) : cluster(password) {
        m_ports.Map(1, m_peer.DevicePath());
    }
    // karvel-read on COM1 with --record, and `more`.
    std::vector<std::string> Args(const std::vector<std::string>& more) const {
        std::vector<std::string> all = {readtest::ReaderPath(),
                                        "--protocol",
                                        "and",
                                        "--port",
                                        "COM1",
                                        "--capture",
                                        "every",
                                        "--id",
                                        "bench",
                                        "--record",
                                        cluster.Url()};
        all.insert(all.end(), more.begin(), more.end());
        return all;
    }

    recordtest::PgCluster cluster;
    testing_support::TempDir state;

  private:
    testing_support::ScopedEnv m_stateHome{"XDG_STATE_HOME", state.Path().string()};
    testing_support::PortDirectory m_ports;
    testing_support::ScopedEnv m_portDir{"KARVEL_PORT_DIR", m_ports.Path()};
    testing_support::FamilyPeer m_peer{
        {9600, {"ST,+00012.34  g\r\n", "US,+00012.40  g\r\n"}, std::chrono::milliseconds(5), {}}};
};

TEST(PostgresRecord, ThePasswordComesFromItsFileAndIsSeenNowhereElse) {
    const std::string password = "s3cret-Pw'1";
    ReaderBench bench(password);
    recordtest::PgCluster& cluster = bench.cluster;
    ASSERT_EQ(cluster.Why(), "");
    const std::string right = bench.state / "right", wrong = bench.state / "wrong";
    testing_support::WriteFile(right, password + "\n");
    testing_support::WriteFile(wrong, "not-" + password + "\n");
    ::chmod(right.c_str(), 0600);
    ::chmod(wrong.c_str(), 0600);
    const auto args = [&bench](const std::string& file) {
        return bench.Args({"--record-password-file", file});
    };

    readtest::Child reader(args(right));
    ASSERT_TRUE(reader.ReadLine()) << reader.Errors();
    const std::string cmdline =
        testing_support::ReadFile("/proc/" + std::to_string(reader.Pid()) + "/cmdline");
    reader.Signal(SIGTERM);
    EXPECT_EQ(reader.Wait(), 0) << reader.Errors();
    EXPECT_NE(cmdline.find("--record-password-file"), std::string::npos) << cmdline;
    EXPECT_EQ(cmdline.find(password), std::string::npos);
    EXPECT_EQ(reader.Errors().find(password), std::string::npos) << reader.Errors();
    auto record = Open(cluster.Url() + "&password=" + password);
    ASSERT_TRUE(record);
    std::size_t rows = 0;
    for (const Chain chain : {Chain::kWeighings, Chain::kEvents})
        ASSERT_TRUE(record->Walk(chain, {}, [&](const ChainRow& row) {
            ++rows;
            EXPECT_EQ(record::store::CanonicalForm(row).find(password), std::string::npos);
            return true;
        }));
    EXPECT_GE(rows, 3u);

    readtest::Child refused(args(wrong));
    EXPECT_EQ(refused.Wait(), 6);
    EXPECT_NE(refused.Errors().find("password authentication failed"), std::string::npos)
        << refused.Errors();
    EXPECT_EQ(refused.Errors().find(password), std::string::npos) << refused.Errors();
}

// The seq a JSON line ends with; 0 when it has none.
std::uint64_t SeqOf(const std::string& line) {
    const std::size_t at = line.rfind(",\"record\":");
    return at == std::string::npos ? 0 : std::stoull(line.substr(at + 10));
}

TEST(PostgresRecord, ADatabaseStoppedUnderARunningReaderLosesNothing) {
    ReaderBench bench;
    recordtest::PgCluster& cluster = bench.cluster;
    ASSERT_EQ(cluster.Why(), "");
    const auto args = [&bench](const std::vector<std::string>& more) { return bench.Args(more); };
    // Within a run the seqs follow each other; a run goes on after what the last one kept (the
    // test reads only some of each run's lines).
    std::uint64_t printed = 0;
    const auto readOn = [&printed](readtest::Child& reader, int lines, bool first = false) {
        for (int i = 0; i < lines; ++i) {
            const std::uint64_t seq = SeqOf(reader.ReadLine().value_or(""));
            if (first && i == 0)
                EXPECT_GT(seq, printed) << reader.Errors();
            else
                EXPECT_EQ(seq, printed + 1) << reader.Errors();
            printed = seq;
        }
    };
    {
        readtest::Child reader(args({}));
        readOn(reader, 10, true);
        ASSERT_TRUE(cluster.Stop());
        ASSERT_TRUE(reader.WaitForError("wait in the spool")) << reader.Errors();
        readOn(reader, 30);
        ASSERT_TRUE(cluster.Start()) << cluster.Why();
        ASSERT_TRUE(reader.WaitForError("is back")) << reader.Errors();
        readOn(reader, 10);
        reader.Signal(SIGTERM);
        EXPECT_EQ(reader.Wait(), 0) << reader.Errors();
    }
    // A run that ends while the database is away leaves its weighings for the next, exit 3.
    ASSERT_TRUE(cluster.Stop());
    {
        readtest::Child away(args({"--count", "5"}));
        readOn(away, 5, true);
        EXPECT_EQ(away.Wait(), 3) << away.Errors();
        EXPECT_NE(away.Errors().find("wait in the spool for the database"), std::string::npos)
            << away.Errors();
    }
    ASSERT_TRUE(cluster.Start()) << cluster.Why();
    readtest::Child next(args({"--count", "1"}));
    readOn(next, 1, true);
    EXPECT_EQ(next.Wait(), 0) << next.Errors();

    auto record = Open(cluster.Url());
    ASSERT_TRUE(record);
    const auto verdict = record::store::Verify(*record);
    ASSERT_TRUE(verdict);
    EXPECT_TRUE(verdict->breaks.empty()) << record::store::Summary(*verdict);
    // Every printed seq reached the database: the chain holds them all, without a gap.
    EXPECT_GE(verdict->weighings, printed);
}

}  // namespace
