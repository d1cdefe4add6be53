// The soak's own reading of the line, its verdict, its command line and its process figures.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/soak/LineTally.h"
#include "bench/soak/ProcessStatus.h"
#include "bench/soak/SoakOptions.h"
#include "bench/soak/SoakScale.h"
#include "bench/soak/SoakVerdict.h"
#include "tools/scalesim/ScaleFrames.h"

namespace soak {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Frames whose cells hold "1" (0x06, the first header byte) so that a reader that loses its
// place finds false headers.
Bytes FrameBytes(std::uint8_t lastCell) {
    scalesim::DisplaySlots shown;
    shown.wm = scalesim::BarMask(3);
    shown.unit = scalesim::kUnitKg;
    shown.hex = {0, 0, 0x06, 0x06, 0x86, lastCell};
    const scalesim::Frame frame = scalesim::EncodeFrame(shown);
    return Bytes(frame.begin(), frame.end());
}

Bytes Join(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

const Bytes kAnswer = {scalesim::kHeader0, scalesim::kHeader1};

TEST(LineTally, SortsTheLineIntoFramesAnswersAndStrayBytes) {
    const Bytes f1 = FrameBytes(0x3F);
    const Bytes f2 = FrameBytes(0x06);
    const Bytes f3 = FrameBytes(0x5B);
    Bytes cut = f2;
    cut.erase(cut.begin() + 4, cut.begin() + 7);  // three bytes lost inside a frame
    struct Case {
        const char* name;
        Bytes line;
        std::uint64_t frames, answers, stray;
    };
    const Case cases[] = {
        {"answer first", Join({kAnswer, f1, f2}), 2, 1, 0},
        {"answer between frames", Join({f1, kAnswer, f2, f3}), 3, 1, 0},
        {"answer last", Join({f1, kAnswer}), 1, 1, 0},
        {"noise before a header", Join({{0xFF, 0x06}, f1}), 1, 0, 2},
        {"a frame cut short", Join({f1, cut, f3}), 2, 0, 9},
        {"the stream ends inside a frame", Join({f1, Bytes(f2.begin(), f2.begin() + 5)}), 1, 0, 5},
    };
    for (const Case& c : cases) {
        LineTally tally;
        for (const std::uint8_t b : c.line)
            tally.Add(b);
        tally.Finish();
        EXPECT_EQ(tally.Bytes(), c.line.size()) << c.name;
        EXPECT_EQ(tally.Frames(), c.frames) << c.name;
        EXPECT_EQ(tally.Answers(), c.answers) << c.name;
        EXPECT_EQ(tally.StrayBytes(), c.stray) << c.name;
    }
}

TEST(SoakVerdict, NamesEveryWayTheRunFellShort) {
    SoakCounts good;
    good.framesAsked = 4800;
    good.framesSent = 4800;
    good.framesReceived = 4800;
    good.answersReceived = 1;
    good.displayCalls = 4801;
    EXPECT_EQ(FramesDecoded(good), 4800u);
    EXPECT_TRUE(Shortfalls(good).empty());

    struct Case {
        const char* name;
        void (*spoil)(SoakCounts&);
        std::string reason;
    };
    const Case cases[] = {
        {"no report", [](SoakCounts& c) { c.framesSent.reset(); },
         "the simulator did not report how many frames it sent"},
        {"stopped early",
         [](SoakCounts& c) {
             c.framesSent = 4700;
             c.framesReceived = 4700;
             c.displayCalls = 4701;
         },
         "the simulator sent 4700 frames of 4800"},
        {"lost on the way",
         [](SoakCounts& c) {
             c.framesReceived = 4797;
             c.displayCalls = 4798;
         },
         "3 of 4800 frames sent never reached the panel"},
        {"more than sent",
         [](SoakCounts& c) {
             c.framesReceived = 4801;
             c.displayCalls = 4802;
         },
         "the panel received 1 frames more than were sent"},
        {"not decoded", [](SoakCounts& c) { c.displayCalls = 4799; },
         "4798 frames decoded for 4800 received"},
        {"decoded twice", [](SoakCounts& c) { c.displayCalls = 4802; },
         "4801 frames decoded for 4800 received"},
        {"stray bytes", [](SoakCounts& c) { c.strayBytes = 5; },
         "5 received bytes belong to no whole frame"},
        {"no Display at all",
         [](SoakCounts& c) {
             c.answersReceived = 2;
             c.displayCalls = 1;
         },
         "fewer Display calls (1) than probe answers"},
        {"a box", [](SoakCounts& c) { c.boxesDuringStream = {"WARNING: ReadFile() failed"}; },
         "the panel reported: WARNING: ReadFile() failed"},
    };
    for (const Case& c : cases) {
        SoakCounts counts = good;
        c.spoil(counts);
        EXPECT_EQ(Shortfalls(counts), std::vector<std::string>{c.reason}) << c.name;
    }
}

TEST(SoakOptions, TakesOneDurationInMinutesOrSeconds) {
    struct Case {
        std::vector<std::string_view> args;
        int seconds;  // 0: refused
    };
    const Case cases[] = {
        {{}, 600},
        {{"--minutes", "2"}, 120},
        {{"--seconds", "60"}, 60},
        {{"--seconds", "0"}, 0},
        {{"--minutes", "-1"}, 0},
        {{"--seconds", "5s"}, 0},
        {{"--minutes"}, 0},
        {{"--minutes", "1", "--seconds", "5"}, 0},
        {{"--hours", "1"}, 0},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto options = ParseSoakOptions(c.args, &error);
        const std::string call = c.args.empty() ? "(none)" : std::string(c.args[0]);
        if (c.seconds == 0) {
            EXPECT_FALSE(options) << call;
            EXPECT_FALSE(error.empty()) << call;
        } else {
            ASSERT_TRUE(options) << call << ": " << error;
            EXPECT_EQ(options->seconds, c.seconds) << call;
        }
    }
}

TEST(ProcessStatus, ReadsKilobyteFieldsAndCompactsSeries) {
    const std::string status =
        "Name:\tkarvel_soak\nVmPeak:\t  912340 kB\nVmHWM:\t   52344 kB\nVmRSS:\t   51000 kB\n"
        "RssAnon:\t   20000 kB\nThreads:\t4\n";
    EXPECT_EQ(StatusKb(status, "VmHWM"), 52344);
    EXPECT_EQ(StatusKb(status, "VmRSS"), 51000);
    EXPECT_EQ(StatusKb(status, "Rss"), std::nullopt);      // a field whose name starts alike
    EXPECT_EQ(StatusKb(status, "Threads"), std::nullopt);  // no kB
    EXPECT_EQ(StatusKb(status, "VmSwap"), std::nullopt);
    EXPECT_TRUE(StatusKb(ReadOwnStatus(), "VmRSS").value_or(0) > 0);

    EXPECT_EQ(CompactSeries({}), "");
    EXPECT_EQ(CompactSeries({7}), "7");
    EXPECT_EQ(CompactSeries({1, 1, 1, 2, 1}), "1*3 2 1");
}

TEST(SoakScale, ReadsTheSimulatorsFrameCount) {
    EXPECT_EQ(FramesSentLine("frames sent: 48000"), 48000u);
    EXPECT_EQ(FramesSentLine("frames sent: 0"), 0u);
    EXPECT_EQ(FramesSentLine("frames sent: "), std::nullopt);
    EXPECT_EQ(FramesSentLine("frames sent: 12x"), std::nullopt);
    EXPECT_EQ(FramesSentLine("ready"), std::nullopt);
}

}  // namespace
}  // namespace soak
