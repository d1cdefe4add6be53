// The log file: only a regular file, appended to and never truncated, a header when it starts
// empty, reopened by name, and records it refuses kept until it takes them.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <gtest/gtest.h>

#include "record/LogFile.h"
#include "tests/support/TestFiles.h"

namespace {

const std::string kHeader = "a,b\r\n";

class LogFileTest : public ::testing::Test {
  protected:
    std::string Path(const char* name) const { return m_dir / name; }
    static std::string Read(const std::string& path) { return testing_support::ReadFile(path); }
    static void Write(const std::string& path, const std::string& text) {
        testing_support::WriteFile(path, text);
    }

    testing_support::TempDir m_dir;
};

TEST_F(LogFileTest, OnlyARegularFileIsTakenAndNothingElseIsTouched) {
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    Write(Path("target"), "kept\r\n");
    ASSERT_EQ(::symlink(Path("target").c_str(), Path("link").c_str()), 0);
    ASSERT_EQ(::symlink(Path("nowhere").c_str(), Path("dangling").c_str()), 0);
    const std::pair<std::string, const char*> refused[] = {
        {Path("fifo"), "is a FIFO"},
        {Path("link"), "is a symbolic link"},
        {Path("dangling"), "is a symbolic link"},
        {"/dev/null", "is a device"},
        {m_dir.Path().string(), "is a folder"},
        {Path("missing/log.csv"), "cannot open"},
    };
    for (const auto& [path, why] : refused) {
        std::string error;
        EXPECT_EQ(record::LogFile::Open(path, kHeader, &error), nullptr) << path;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
    EXPECT_EQ(Read(Path("target")), "kept\r\n");
    EXPECT_EQ(::access(Path("nowhere").c_str(), F_OK), -1);
}

TEST_F(LogFileTest, AppendsAfterWhatIsThereAndReopensARotatedFileWithItsHeader) {
    struct Case {
        const char* before;  // nullptr: no file
        std::string after;
    };
    const Case cases[] = {
        {nullptr, kHeader + "1\r\n"},
        {"", kHeader + "1\r\n"},
        {"old\r\n", "old\r\n1\r\n"},
    };
    for (const Case& c : cases) {
        const std::string path = Path("log.csv");
        ::unlink(path.c_str());
        if (c.before)
            Write(path, c.before);
        std::string error;
        auto log = record::LogFile::Open(path, kHeader, &error);
        ASSERT_TRUE(log) << error;
        EXPECT_TRUE(log->Append("1\r\n"));
        EXPECT_TRUE(log->Sync());
        EXPECT_EQ(Read(path), c.after);
    }
    // Copied and truncated by a rotation: the next record starts the file again.
    auto log = record::LogFile::Open(Path("log.csv"), kHeader, nullptr);
    ASSERT_EQ(::truncate(Path("log.csv").c_str(), 0), 0);
    EXPECT_TRUE(log->Append("2\r\n"));
    EXPECT_EQ(Read(Path("log.csv")), "2\r\n");
    // Renamed by a rotation: writing goes on in the old file until reopened.
    ASSERT_EQ(::rename(Path("log.csv").c_str(), Path("log.csv.1").c_str()), 0);
    EXPECT_TRUE(log->Append("3\r\n"));
    std::string error;
    ASSERT_TRUE(log->Reopen(&error)) << error;
    EXPECT_TRUE(log->Append("4\r\n"));
    EXPECT_EQ(Read(Path("log.csv.1")), "2\r\n3\r\n");
    EXPECT_EQ(Read(Path("log.csv")), kHeader + "4\r\n");
    // A path that became a link is refused; the open file goes on.
    ASSERT_EQ(::rename(Path("log.csv").c_str(), Path("log.csv.2").c_str()), 0);
    ASSERT_EQ(::symlink(Path("log.csv.2").c_str(), Path("log.csv").c_str()), 0);
    EXPECT_FALSE(log->Reopen(&error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    EXPECT_TRUE(log->Append("5\r\n"));
    EXPECT_EQ(Read(Path("log.csv.2")), kHeader + "4\r\n5\r\n");
}

TEST_F(LogFileTest, RecordsAFullFileRefusesAreKeptWholeAndWrittenWhenItTakesThemAgain) {
    const std::string path = Path("log.csv");
    auto log = record::LogFile::Open(path, kHeader, nullptr);
    ASSERT_TRUE(log);
    ASSERT_TRUE(log->Append("first\r\n"));
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    // Room for part of the next record only.
    rlimit tight = saved;
    tight.rlim_cur = Read(path).size() + 3;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool second = log->Append("second\r\n");
    const bool third = log->Append("third\r\n");
    const bool stuck = log->Retry();
    const std::string error = log->LastError();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(second || third || stuck);
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(log->HasPending());
    EXPECT_TRUE(log->Retry());
    EXPECT_FALSE(log->HasPending());
    EXPECT_EQ(log->Dropped(), 0u);
    EXPECT_EQ(Read(path), kHeader + "first\r\nsecond\r\nthird\r\n");
}

}  // namespace
