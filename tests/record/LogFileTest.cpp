// The log file: only a regular file, appended to and never truncated, a header when it starts
// empty, reopened by name, and records it refuses kept until it takes them; an export, which
// replaces only a regular file, whole.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "record/LogFile.h"
#include "tools/peers/TestFiles.h"

namespace {

const std::string kHeader = "a,b\r\n";

class LogFileTest : public ::testing::Test {
  protected:
    std::string Path(const char* name) const { return m_dir / name; }
    static std::string Read(const std::string& path) { return testing_support::ReadFile(path); }
    static void Write(const std::string& path, const std::string& text) {
        testing_support::WriteFile(path, text);
    }

    // A FIFO, links to a file and to nothing, a device, a folder and a missing folder, each
    // with what its refusal says; `missing` for the last.
    std::vector<std::pair<std::string, const char*>> NoRegularFiles(const char* missing) {
        EXPECT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
        Write(Path("target"), "kept\r\n");
        EXPECT_EQ(::symlink(Path("target").c_str(), Path("link").c_str()), 0);
        EXPECT_EQ(::symlink(Path("nowhere").c_str(), Path("dangling").c_str()), 0);
        return {
            {Path("fifo"), "is a FIFO"},
            {Path("link"), "is a symbolic link"},
            {Path("dangling"), "is a symbolic link"},
            {"/dev/null", "is a device"},
            {m_dir.Path().string(), "is a folder"},
            {Path("missing/log.csv"), missing},
        };
    }

    testing_support::TempDir m_dir;
};

TEST_F(LogFileTest, OnlyARegularFileIsTakenAndNothingElseIsTouched) {
    for (const auto& [path, why] : NoRegularFiles("cannot open")) {
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

// A full disk, then a rotation by renaming: the file rotated away ends in a whole row, and the
// row it refused goes whole to the new file.
TEST_F(LogFileTest, APartOfARowTheFileRefusedIsTakenBack) {
    const std::string path = Path("log.csv");
    auto log = record::LogFile::Open(path, kHeader, nullptr);
    ASSERT_TRUE(log);
    ASSERT_TRUE(log->Append("first\r\n"));
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = Read(path).size() + 3;  // room for "sec"
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool second = log->Append("second\r\n");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(second);
    EXPECT_EQ(Read(path), kHeader + "first\r\n");
    ASSERT_EQ(::rename(path.c_str(), Path("log.csv.1").c_str()), 0);
    std::string error;
    ASSERT_TRUE(log->Reopen(&error)) << error;
    EXPECT_FALSE(log->HasPending());
    EXPECT_EQ(Read(Path("log.csv.1")), kHeader + "first\r\n");
    EXPECT_EQ(Read(path), kHeader + "second\r\n");
}

// A link (whoever owns it: never followed), a FIFO, a device: the export writes through none of
// them, and a read-only file stays read-only.
TEST_F(LogFileTest, AnExportReplacesOnlyARegularFileWholeKeepingItsMode) {
    for (const auto& [path, why] : NoRegularFiles("cannot write")) {
        std::string error;
        EXPECT_FALSE(record::ReplaceWhole(path, "new\r\n", &error)) << path;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
    EXPECT_EQ(Read(Path("target")), "kept\r\n");
    EXPECT_EQ(::access(Path("nowhere").c_str(), F_OK), -1);

    const mode_t mask = ::umask(022);
    const struct {
        const char* name;
        int before;  // -1: no file
        mode_t after;
    } replaced[] = {{"new.csv", -1, 0644}, {"read-only.csv", 0444, 0444}, {"own.csv", 0600, 0600}};
    for (const auto& c : replaced) {
        if (c.before >= 0) {
            Write(Path(c.name), "old, longer than what replaces it\r\n");
            ASSERT_EQ(::chmod(Path(c.name).c_str(), static_cast<mode_t>(c.before)), 0);
        }
        std::string error;
        EXPECT_TRUE(record::ReplaceWhole(Path(c.name), "new\r\n", &error)) << error;
        EXPECT_EQ(Read(Path(c.name)), "new\r\n");
        struct stat info {};
        ASSERT_EQ(::lstat(Path(c.name).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, c.after) << c.name;
    }
    ::umask(mask);
    // No file of its own is left beside them.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 4u + std::size(replaced));
}

}  // namespace
