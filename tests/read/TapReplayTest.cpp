// karvel-read --tap against the simulator of each family, then --replay of that tap as fast as
// it is read: the same readings, byte for byte past the time and the port's name. A reader
// killed keeps every burst it read in its tap; what cannot be tapped or replayed is refused
// before anything is read.

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/Tap.h"
#include "tests/read/ReadTestSupport.h"

namespace readtest {
namespace {

constexpr int kReadings = 5;
// Detection listens and asks before the first reading.
constexpr auto kDetection = std::chrono::seconds(60);

// The JSON lines of a run, from the spoken reading on and without time_us: the times, the
// scale's name, the port and the device differ between a run and its replay.
std::vector<std::string> Readings(Child& reader) {
    std::vector<std::string> readings;
    while (auto line = reader.ReadLine(kDetection)) {
        const std::size_t from = line->find("\"reading\":");
        std::string reading = from == std::string::npos ? *line : line->substr(from);
        if (const std::size_t time = reading.find(",\"time_us\":"); time != std::string::npos)
            reading.erase(time, reading.find_first_of(",}", time + 1) - time);
        readings.push_back(reading);
    }
    return readings;
}

std::vector<std::string> WithFamily(std::vector<std::string> args, const std::string& family) {
    if (!family.empty())
        args.insert(args.end(), {"--protocol", family});
    return args;
}

// Reads `port` (as `family`) while tapping it to `tap`, then replays the tap as fast as it is
// read: the same readings.
void ExpectTheReplayReadsTheSame(const std::string& port, const std::string& family,
                                 const std::string& tap) {
    const std::vector<std::string> common = {"--count", std::to_string(kReadings), "--capture",
                                             "every"};
    std::vector<std::string> live = {ReaderPath(), "--port", port, "--tap", tap};
    live.insert(live.end(), common.begin(), common.end());
    Child onWire(WithFamily(live, family));
    const std::vector<std::string> heard = Readings(onWire);
    ASSERT_EQ(onWire.Wait(), 0) << onWire.Errors();
    ASSERT_EQ(heard.size(), static_cast<std::size_t>(kReadings)) << onWire.Errors();

    std::vector<std::string> again = {ReaderPath(), "--replay", tap, "--replay-speed", "max"};
    again.insert(again.end(), common.begin(), common.end());
    Child replayed(WithFamily(again, family));
    EXPECT_EQ(Readings(replayed), heard) << replayed.Errors();
    EXPECT_EQ(replayed.Wait(), 0) << replayed.Errors();
}

TEST(TapAndReplay, EachFamilyReplayedGivesTheReadingsItGaveOnTheWire) {
    // The panel's own frames (the probe scan), the families that stream and those asked.
    const char* const families[] = {"",       "sics", "and",       "sbi", "ohaus",
                                    "toledo", "cas",  "indicator", "sma", "8217"};
    for (const std::string family : families) {
        SCOPED_TRACE(family.empty() ? "probe scan" : family);
        TempDir dir;
        testing_support::ScopedEnv ports("KARVEL_PORT_DIR", dir.Path().string());
        auto sim = StartSimulator(dir.Path().string(),
                                  family.empty() ? std::vector<std::string>{}
                                                 : std::vector<std::string>{"--protocol", family});
        ExpectTheReplayReadsTheSame("COM1", family, dir / "wire.tap");
    }
}

// The tap is the wire's, whatever the wire: a connection's bytes are recorded as a port's are.
TEST(TapAndReplay, AConnectionsTapReplaysAsAPortsDoes) {
    for (const std::string family : {"", "sma"}) {
        SCOPED_TRACE(family.empty() ? "probe scan" : family);
        TempDir dir;
        const std::string port = std::to_string(FreePort());
        Child simulator(WithFamily({KARVEL_SCALESIM_PATH, "--listen", "tcp:" + port}, family));
        ASSERT_EQ(simulator.ReadLine(), "COM1 tcp://127.0.0.1:" + port) << simulator.Errors();
        ASSERT_EQ(simulator.ReadLine(), "ready");
        ExpectTheReplayReadsTheSame("tcp://127.0.0.1:" + port, family, dir / "wire.tap");
    }
}

TEST(TapAndReplay, AReaderKilledKeepsInItsTapTheBytesOfWhatItRead) {
    TempDir dir;
    testing_support::ScopedEnv ports("KARVEL_PORT_DIR", dir.Path().string());
    auto sim = StartSimulator(dir.Path().string(), {"--protocol", "and"});
    const std::string tap = dir / "wire.tap";
    Child reader({ReaderPath(), "--port", "COM1", "--protocol", "and", "--tap", tap});
    const std::optional<std::string> line = reader.ReadLine(kDetection);
    ASSERT_TRUE(line) << reader.Errors();
    reader.Signal(SIGKILL);
    EXPECT_EQ(reader.Wait(), 128 + SIGKILL);
    const auto bursts = scale_link::ReadTap(tap);
    ASSERT_TRUE(bursts) << bursts.Error().text;
    // The reading's bytes, as its JSON shows them in hex, came in the bursts before it.
    const std::size_t frame = line->find("\"frame\":\"") + 9;
    const std::string hex = line->substr(frame, line->find('"', frame) - frame);
    std::string in;
    for (const scale_link::TapBurst& burst : *bursts) {
        if (!burst.in)
            continue;
        for (const std::uint8_t byte : burst.bytes) {
            in += "0123456789abcdef"[byte >> 4];
            in += "0123456789abcdef"[byte & 0x0F];
        }
    }
    EXPECT_NE(in.find(hex), std::string::npos) << hex;
}

// SICS's "S S    N.00 g" as a tap's hex.
std::string SicsBurst(const std::string& at, char figure, char state = 'S') {
    return at + " < 53 20 " + (state == 'S' ? "53" : "44") + " 20 20 20 20 3" + figure +
           " 2e 30 30 20 67 0d 0a";
}

TEST(TapAndReplay, AHandEditedTapIsReadToItsEndAndKeysGoNowhere) {
    TempDir dir;
    const std::string edited = WriteIn(
        dir, "edited.tap",
        "# Edited by hand: a run, then one appended.\r\n" + SicsBurst("0.10", '1') + "\r\n" +
            "0.2 < 5320532020202020322E303020670D0A  # joined\r\n"
            "\r\n" +
            SicsBurst("0.30", '3') + "\n" + SicsBurst("0.05", '4', 'D') + "\n");
    Child reader({ReaderPath(), "--replay", edited, "--replay-speed", "max", "--protocol", "sics",
                  "--capture", "every", "--format", "text"});
    std::vector<std::string> read;
    while (auto line = reader.ReadLine(kDetection))
        read.push_back(line->substr(line->find(" ", 13) + 1));
    EXPECT_EQ(reader.Wait(), 0) << reader.Errors();
    EXPECT_EQ(read, (std::vector<std::string>{"1.00 g stable", "2.00 g stable", "3.00 g stable",
                                              "4.00 g"}))
        << reader.Errors();

    // At the recorded pace the last burst is an hour away: a key meanwhile is said, not sent.
    const std::string slow = WriteIn(dir, "slow.tap",
                                     SicsBurst("0.1", '1') + "\n" + SicsBurst("0.2", '1') + "\n" +
                                         SicsBurst("3600", '2') + "\n");
    Child keyed({ReaderPath(), "--replay", slow, "--protocol", "sics", "--keys"});
    ASSERT_TRUE(keyed.ReadLine(kDetection)) << keyed.Errors();
    keyed.Write("TARE\n");
    EXPECT_TRUE(keyed.WaitForError("TARE: not sent: a replay has no scale")) << keyed.Errors();
    keyed.Signal(SIGTERM);
    EXPECT_EQ(keyed.Wait(), 0);
}

TEST(TapAndReplay, WhatCannotBeTappedOrReplayedIsRefusedWithExitTwo) {
    TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string edited =
        WriteIn(dir, "edited.tap", "# a tap, edited\n0.1 < 53 20 53\n0.2 < 0d 0a\n0.3 < 5 0a\n");
    const struct {
        std::vector<std::string> args;
        std::string said;
    } cases[] = {
        {{"--replay", edited, "--protocol", "sics"}, " line 4: '5' is no byte in hex"},
        {{"--replay", dir / "none.tap"}, "--replay: cannot read "},
        {{"--tap", fifo, "--protocol", "sics"}, "--tap: " + fifo + " is a FIFO"},
        {{"--replay", edited, "--port", "COM1"}, "it does not go with --port"},
        {{"--replay-speed", "max"}, "--replay-speed goes with --replay"},
        {{"--replay", edited, "--replay-speed", "0"}, "--replay-speed must be max or"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {ReaderPath()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Child reader(argv);
        EXPECT_EQ(reader.Wait(), 2) << c.said;
        EXPECT_NE(reader.Errors().find(c.said), std::string::npos) << reader.Errors();
    }
}

}  // namespace
}  // namespace readtest
