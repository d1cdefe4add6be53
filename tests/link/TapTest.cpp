// A tap as a person reads and edits it, and a replay of one: lines read or refused with their
// number, the files a tap will not write to, and the order a replay hands bursts out in (an
// answer waits for its question; the end is said once).

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "link/Replay.h"
#include "link/Tap.h"
#include "tools/peers/TestFiles.h"

namespace scale_link {
namespace {

using std::chrono::microseconds;

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(TapText, HandEditedLinesAreReadAsWritten) {
    const std::string text =
        "# edited by hand\r\n"
        "0.5 > 0a 57 0D\r\n"
        "\n"
        "  0.500250\t<  0a20 31  # the answer, split\n"
        "1 < FF\n"
        // Appended by a second run: its times go on after the first's.
        "0.25 < 00\n";
    const auto bursts = ParseTap(text);
    ASSERT_TRUE(bursts) << bursts.Error().text;
    const std::vector<TapBurst> expected = {
        {microseconds(500000), false, {0x0a, 0x57, 0x0d}},
        {microseconds(500250), true, {0x0a, 0x20, 0x31}},
        {microseconds(1000000), true, {0xff}},
        {microseconds(1250000), true, {0x00}},
    };
    EXPECT_EQ(*bursts, expected);
    // What is written reads back the same.
    std::string written;
    for (const TapBurst& burst : expected)
        written += TapLine(burst) + "\n";
    EXPECT_EQ(TapLine(expected[0]), "0.500000 > 0a 57 0d");
    EXPECT_EQ(*ParseTap(written), expected);
}

TEST(TapText, ABadLineIsRefusedWithItsNumber) {
    const struct {
        const char* line;
        const char* said;
    } cases[] = {
        {"0.3 < 5", "line 3: '5' is no byte in hex"},
        {"0.3 < 0g", "line 3: '0g' is no byte in hex"},
        {"0.3 >", "line 3: no bytes after the direction"},
        {"0.3 < # all comment", "line 3: no bytes after the direction"},
        {"< 00", "line 3: '<' is no time"},
        {"-1 < 00", "line 3: '-1' is no time"},
        {"1. < 00", "line 3: '1.' is no time"},
        {"1e3 < 00", "line 3: '1e3' is no time"},
        {"1234567890 < 00", "line 3: '1234567890' is no time"},
        {"0.3 <> 00", "line 3: '<' (from the scale) or '>' (to it) must follow the time"},
        {"0.3 00", "line 3: '<' (from the scale) or '>' (to it) must follow the time"},
    };
    for (const auto& c : cases) {
        const auto bursts = ParseTap(std::string("# a tap\n0.1 < 00\n") + c.line + "\n0.4 < 01\n");
        ASSERT_FALSE(bursts) << c.line;
        EXPECT_TRUE(bursts.Error().text.starts_with(c.said)) << bursts.Error().text;
    }
}

TEST(TapFileOpen, RefusesWhatIsNoRegularFileItMayWrite) {
    testing_support::TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    testing_support::WriteFile(dir / "target", "");
    std::filesystem::create_symlink(dir / "target", dir / "link");
    std::filesystem::create_directory(dir / "shut");
    std::filesystem::permissions(
        dir / "shut", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const struct {
        std::string path;
        const char* said;
    } cases[] = {
        {fifo, "is a FIFO"},
        {dir / "link", "is a symbolic link"},
        {dir.Path().string(), "is a folder"},
        {dir / "shut/tap", "cannot open"},
    };
    for (const auto& c : cases) {
        // Root writes anywhere: the closed folder says nothing then.
        if (::geteuid() == 0 && c.path.ends_with("shut/tap"))
            continue;
        const auto tap = TapFile::Open(c.path, {});
        ASSERT_FALSE(tap) << c.path;
        EXPECT_NE(tap.Error().text.find(c.said), std::string::npos) << tap.Error().text;
    }
    EXPECT_EQ(testing_support::ReadFile(dir / "target"), "");
}

TEST(TapFileOpen, EachBurstIsInTheFileAsItPassesAndAnotherRunIsAppended) {
    testing_support::TempDir dir;
    const std::string path = dir / "tap";
    for (int run = 0; run < 2; ++run) {
        const auto tap = TapFile::Open(path, {});
        ASSERT_TRUE(tap) << tap.Error().text;
        (*tap)->Note("opened COM1\nat once");
        (*tap)->Burst(true, Bytes("S S"));
        // Not closed yet: the line is in the file already.
        const auto bursts = ParseTap(testing_support::ReadFile(path));
        ASSERT_TRUE(bursts) << bursts.Error().text;
        ASSERT_EQ(bursts->size(), static_cast<std::size_t>(run + 1));
        EXPECT_EQ(bursts->back().bytes, Bytes("S S"));
    }
    const std::string text = testing_support::ReadFile(path);
    EXPECT_NE(text.find("# opened COM1?at once\n"), std::string::npos) << text;
}

// Bursts `replay` hands out now, each whole, until it has none due.
std::vector<std::string> Due(Replay& replay) {
    std::vector<std::string> out;
    for (;;) {
        std::optional<Replay::Clock::time_point> wake;
        const auto bytes = replay.Take(64, &wake);
        if (bytes.empty())
            return out;
        out.emplace_back(bytes.begin(), bytes.end());
    }
}

TEST(ReplayOrder, AnAnswerWaitsForItsQuestionAndTheEndIsSaidOnce) {
    int ended = 0;
    auto replay = std::make_shared<Replay>(
        *ParseTap("0.1 < 61\n0.2 < 62\n0.3 > 05\n0.4 > 57\n0.5 < 63\n0.6 > 57\n0.7 < 64\n"),
        std::nullopt, [&ended] { ++ended; });
    serial_port::PortError error;
    ASSERT_TRUE(replay->Open(&error)) << error.Describe();
    EXPECT_EQ(Due(*replay), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(Due(*replay).empty());
    // The probe nobody answered is passed over up to the query the reader makes; the second
    // query, made before the replay came to its line, counts when it does.
    replay->Written(Bytes("W"));
    replay->Written(Bytes("W"));
    EXPECT_EQ(ended, 0);
    EXPECT_EQ(Due(*replay), (std::vector<std::string>{"c", "d"}));
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(Due(*replay).empty());
    EXPECT_EQ(ended, 1);
}

TEST(ReplayOrder, ABurstLargerThanTheReadComesInPartsAndAWireOpenedAgainReadsOn) {
    auto replay =
        std::make_shared<Replay>(*ParseTap("0 < 01 02 03 04 05\n0 < 06\n"), std::nullopt, nullptr);
    serial_port::PortError error;
    auto first = replay->Open(&error);
    ASSERT_TRUE(first);
    std::array<std::uint8_t, 3> into{};
    EXPECT_EQ(first->ReadAvailable(into).bytes, 3u);
    EXPECT_EQ(into, (std::array<std::uint8_t, 3>{1, 2, 3}));
    first.reset();
    auto second = replay->Open(&error);
    EXPECT_EQ(second->ReadAvailable(into).bytes, 2u);
    EXPECT_EQ(into[1], 5);
    EXPECT_EQ(second->ReadAvailable(into).bytes, 1u);
    EXPECT_EQ(into[0], 6);
    EXPECT_EQ(second->ReadAvailable(into).bytes, 0u);
}

}  // namespace
}  // namespace scale_link
