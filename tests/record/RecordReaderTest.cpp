// karvel-read --record as a user runs it: killed with SIGKILL while weighings flow, every seq it
// printed is in the record and the next run goes on without a gap; --verify on the file intact
// and after a hand edit; --records prints what was kept.

#include <signal.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "record/store/SqliteRecord.h"
#include "record/store/Verify.h"
#include "tests/read/ReadTestSupport.h"
#include "tests/record/SqlFile.h"
#include "tests/support/ChildProcess.h"
#include "tools/peers/FamilyPeer.h"
#include "tools/peers/PortDirectory.h"

namespace readtest {
namespace {

using record::store::Chain;
using record::store::ChainRow;
using record::store::SqliteRecord;

// The seq a JSON line ends with; 0 when it has none.
std::uint64_t SeqOf(const std::string& line) {
    std::smatch match;
    if (!std::regex_search(line, match, std::regex(R"(,"record":([0-9]+)\}$)")))
        return 0;
    return std::stoull(match[1]);
}

std::vector<std::uint64_t> KeptSeqs(const std::string& path) {
    auto kept = SqliteRecord::Open(path, SqliteRecord::Mode::kRead);
    EXPECT_TRUE(kept) << (kept ? "" : kept.Error().Describe());
    std::vector<std::uint64_t> seqs;
    if (kept) {
        EXPECT_TRUE((*kept)->Walk(Chain::kWeighings, {}, [&seqs](const ChainRow& row) {
            seqs.push_back(row.seq);
            return true;
        }));
    }
    return seqs;
}

class ReaderRecord : public testing::Test {
  protected:
    void SetUp() override {
        ::setenv("KARVEL_PORT_DIR", m_ports.Path().c_str(), 1);
        m_ports.Map(1, m_peer.DevicePath());
    }
    void TearDown() override { ::unsetenv("KARVEL_PORT_DIR"); }

    std::vector<std::string> ReaderArgs(std::vector<std::string> more) const {
        std::vector<std::string> args = {ReaderPath(), "--protocol", "and",   "--port",
                                         "COM1",       "--capture",  "every", "--id",
                                         "bench-1",    "--record",   Url()};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    std::string Url() const { return "sqlite:" + Path(); }
    std::string Path() const { return m_dir / "weighings.sqlite"; }
    testing_support::ProgramRun Tool(const std::vector<std::string>& args) const {
        return testing_support::RunProgram(ReaderPath(), args, m_dir.Path());
    }

    testing_support::PortDirectory m_ports;
    testing_support::FamilyPeer m_peer{
        {9600, {"ST,+00012.34  g\r\n", "US,+00012.40  g\r\n"}, std::chrono::milliseconds(5), {}}};
    TempDir m_dir;
};

TEST_F(ReaderRecord, KilledWhileWeighingsFlowLosesNoPrintedSeqAndGoesOnWithoutAGap) {
    std::vector<std::uint64_t> printed;
    {
        Child reader(ReaderArgs({}));
        while (printed.size() < 40) {
            const auto line = reader.ReadLine();
            ASSERT_TRUE(line) << reader.Errors();
            printed.push_back(SeqOf(*line));
            ASSERT_EQ(printed.back(), printed.size()) << *line;
        }
        reader.Signal(SIGKILL);
        ASSERT_EQ(reader.Wait(), 128 + SIGKILL);
    }
    std::vector<std::uint64_t> kept = KeptSeqs(Path());
    // What was printed was kept; what was kept after it was never shown.
    ASSERT_GE(kept.size(), printed.size());
    EXPECT_TRUE(std::equal(printed.begin(), printed.end(), kept.begin()));

    Child again(ReaderArgs({"--count", "3"}));
    for (std::uint64_t next = kept.size() + 1; next <= kept.size() + 3; ++next)
        EXPECT_EQ(SeqOf(again.ReadLine().value_or("")), next) << again.Errors();
    EXPECT_EQ(again.Wait(), 0) << again.Errors();

    const auto verified = Tool({"--verify", "--record", Url()});
    EXPECT_EQ(verified.exitStatus, 0) << verified.err;
    EXPECT_EQ(verified.out, std::to_string(kept.size() + 3) +
                                " weighings, 3 events, 1 scales: "
                                "intact\n");
}

TEST_F(ReaderRecord, VerifyAndRecordsReadTheFileTheReaderKept) {
    Child reader(ReaderArgs(
        {"--count", "4", "--format", "csv", "--header", "always", "--check", "12.34g,-1,+1"}));
    const auto header = reader.ReadLine();
    ASSERT_TRUE(header) << reader.Errors();
    EXPECT_TRUE(header->ends_with(",capture,check,deviation,record\r")) << *header;
    for (int i = 1; i <= 4; ++i) {
        const std::string line = reader.ReadLine().value_or("");
        EXPECT_TRUE(line.ends_with("," + std::to_string(i) + "\r")) << line;
        EXPECT_NE(line.find(",ok,"), std::string::npos) << line;
    }
    ASSERT_EQ(reader.Wait(), 0) << reader.Errors();
    EXPECT_NE(reader.Errors().find("--record: made the weighing record " + Path()),
              std::string::npos)
        << reader.Errors();

    const auto listed = Tool({"--records", "--record", Url(), "--scale", "bench-1"});
    EXPECT_EQ(listed.exitStatus, 0) << listed.err;
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 4) << listed.out;
    EXPECT_NE(listed.out.find(R"("record":4,"time_utc":")"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find(R"("check":"ok","deviation":"0.06")"), std::string::npos)
        << listed.out;
    EXPECT_EQ(Tool({"--records", "--record", Url(), "--scale", "other"}).out, "");

    // Changed by hand, the triggers dropped first as anyone with the file could.
    ASSERT_EQ(recordtest::RunSql(Path(),
                                 "DROP TRIGGER weighings_never_changed; UPDATE "
                                 "weighings SET value = '99' WHERE seq = 2"),
              "");
    const auto verified = Tool({"--verify", "--record", Url()});
    EXPECT_EQ(verified.exitStatus, 5) << verified.err;
    EXPECT_EQ(verified.out,
              "weighings of scale 'bench-1', seq 2: its fields do not give its hash (the row was "
              "changed)\n4 weighings, 3 events, 1 scales: broken\n");
}

}  // namespace
}  // namespace readtest
