// How mirror_bench reads a reader's report and matches paints to the frames they show.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/mirror/MirrorFigures.h"
#include "bench/support/Measures.h"

namespace mirror {
namespace {

using bench::Percentile;

TEST(MirrorReport, ReadsBackWhatTheReaderPrintedAndRefusesDamage) {
    ReaderReport report;
    report.cpuSeconds = 0.125;
    report.wallSeconds = 20.5;
    report.voluntarySwitches = 1600;
    report.involuntarySwitches = 3;
    report.frames = 1601;
    report.residentGrowthKb = -12;  // memory can be given back
    report.paints = {{0, 10}, {255, 9'000'000'000'000}};
    std::string error;
    const auto back = ParseReport("Qt says hello\n" + FormatReport(report), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_DOUBLE_EQ(back->cpuSeconds, 0.125);
    EXPECT_DOUBLE_EQ(back->wallSeconds, 20.5);
    EXPECT_EQ(back->voluntarySwitches, 1600u);
    EXPECT_EQ(back->involuntarySwitches, 3u);
    EXPECT_EQ(back->frames, 1601u);
    EXPECT_EQ(back->residentGrowthKb, -12);
    EXPECT_EQ(back->paints, report.paints);

    const std::string text = FormatReport(report);
    const std::string cut = text.substr(0, text.find("frames"));
    EXPECT_FALSE(ParseReport(cut, &error));
    EXPECT_FALSE(ParseReport(cut + "end\n", &error)) << "a field is missing";
    EXPECT_FALSE(ParseReport("report\npaint 256 1\nend\n", &error)) << "a tag is one byte";
    EXPECT_FALSE(ParseReport("ready\n", &error));
}

TEST(MirrorLatency, EachFrameCountsOnceAtTheFirstPaintThatShowsIt) {
    // Frame s is written at s ms.
    std::vector<std::int64_t> writes;
    for (int s = 0; s < 300; ++s)
        writes.push_back(std::int64_t{s} * 1'000'000);
    const std::vector<PaintMark> paints = {
        {6, 100},                      // a frame mixed with the probe answer, before frame 6
        {0, 200'000},                  // frame 0 after 200 us
        {0, 900'000},                  // frame 0 again (an expose): not counted twice
        {3, 3'500'000},                // frames 1 and 2 were never painted
        {FrameTag(260), 260'050'000},  // the tag of 4 and 260: the newer frame
        {FrameTag(299), 299'010'000},
    };
    const Latencies got = FrameToPaint(writes, paints);
    EXPECT_EQ(got.micros, (std::vector<double>{200, 500, 50, 10}));
    EXPECT_EQ(got.framesNotShown, 296u);
}

TEST(MirrorLatency, PercentilesTakeTheNearestRankBelow) {
    EXPECT_EQ(Percentile({}, 0.5), 0);
    EXPECT_EQ(Percentile({5, 1, 3}, 0.5), 3);
    EXPECT_EQ(Percentile({4, 1, 3, 2}, 0.5), 2);
    EXPECT_EQ(Percentile({4, 1, 3, 2}, 1.0), 4);
}

}  // namespace
}  // namespace mirror
