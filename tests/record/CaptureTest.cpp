// Which frames each capture rule keeps.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "record/Capture.h"
#include "tests/record/Frames.h"

namespace {

using record::CaptureRule;
using record_test::MakeFrame;
using record_test::Showing;

constexpr std::uint8_t kStable = scale::kSignStable;
constexpr std::uint8_t kData = scale::kSignData | scale::kSignStable;
constexpr std::uint8_t kNetKg = scale::kUnitNet | record_test::kKg;

// A weighing: a load settles, DATA is pressed (its indicator lit for two frames), the load is
// lifted and set down again, a second load, a tare, an error.
const scale::Slots kSession[] = {
    Showing("0.000"),                                // 0
    Showing("1.000"),                                // 1
    Showing("1.000", kStable),                       // 2
    Showing("1.000", kStable),                       // 3
    Showing("1.000", kData),                         // 4
    Showing("1.000", kData),                         // 5
    Showing("1.000", kStable),                       // 6
    Showing("1.000"),                                // 7
    Showing("1.000", kStable),                       // 8: the settled weight again
    Showing("2.000", kStable),                       // 9
    Showing("2.000", kData),                         // 10
    Showing("2.000", kStable, kNetKg),               // 11: the same figures, now net
    Showing("----", kStable),                        // 12
    Showing("----", kStable | scale::kSignBattery),  // 13
};

std::vector<std::size_t> Captured(record::Capturer* capturer,
                                  std::span<const scale::Slots> frames) {
    std::vector<std::size_t> captured;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto kept = capturer->Offer(MakeFrame(frames[i]), 3, "/dev/ttyUSB0");
        if (!kept)
            continue;
        EXPECT_EQ(kept->rule, capturer->Rule());
        captured.push_back(i);
    }
    return captured;
}

TEST(Capturer, KeepsWhatEachRuleNames) {
    const struct {
        CaptureRule rule;
        std::vector<std::size_t> captured;
    } cases[] = {
        {CaptureRule::kSettled, {2, 9, 11, 12}},
        {CaptureRule::kData, {4, 10}},
        {CaptureRule::kChange, {0, 1, 2, 7, 8, 9, 11, 12, 13}},
        {CaptureRule::kEvery, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}},
    };
    for (const auto& c : cases) {
        record::Capturer capturer(c.rule);
        EXPECT_EQ(Captured(&capturer, kSession), c.captured) << record::RuleName(c.rule);
    }
}

// One weighing is one load: the empty pan between loads is no weighing, unless asked for.
TEST(Capturer, SettledSkipsTheEmptyPanUnlessAsked) {
    constexpr std::uint8_t kEmpty = kStable | scale::kSignZero;
    const scale::Slots frames[] = {
        Showing("0.000", kEmpty),   // 0: the empty pan
        Showing("1.000", kStable),  // 1
        Showing("0.000", kEmpty),   // 2
        Showing("1.000", kStable),  // 3: the same load set down again
        Showing("0.000", kStable),  // 4: a value of 0 without the zero indicator
        Showing("0.004", kEmpty),   // 5: within the zero band
        Showing("-0.40", kStable),  // 6
        Showing("0.200", kStable),  // 7
        Showing("----", kStable),   // 8
    };
    const struct {
        CaptureRule rule;
        std::optional<double> minWeight;
        std::vector<std::size_t> captured;
    } cases[] = {
        {CaptureRule::kSettled, std::nullopt, {1, 3, 6, 7, 8}},
        {CaptureRule::kSettledAll, std::nullopt, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
        {CaptureRule::kSettled, 0.3, {1, 3, 6, 8}},
        {CaptureRule::kSettled, 0.0, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
        {CaptureRule::kChange, 5.0, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const auto& c : cases) {
        record::Capturer capturer(c.rule, c.minWeight);
        EXPECT_EQ(Captured(&capturer, frames), c.captured)
            << record::RuleName(c.rule) << " " << c.minWeight.value_or(-1);
    }
}

TEST(Capturer, MinWeightIsADecimalOfZeroOrMore) {
    const struct {
        const char* text;
        double weight;  // -1: refused
    } cases[] = {
        {"0.05", 0.05}, {"2", 2}, {"0", 0},    {".5", 0.5}, {"-1", -1},   {"+1", -1},
        {"1e3", -1},    {"", -1}, {"1,5", -1}, {"nan", -1}, {"0x10", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(record::ParseMinWeight(c.text).value_or(-1), c.weight) << c.text;
}

TEST(Capturer, AfterResetTheFirstFrameCountsForEveryRule) {
    const scale::Slots frames[] = {Showing("1.000", kData), Showing("1.000", kData)};
    for (const CaptureRule rule :
         {CaptureRule::kSettled, CaptureRule::kData, CaptureRule::kChange, CaptureRule::kEvery}) {
        record::Capturer capturer(rule);
        const std::size_t once = rule == CaptureRule::kEvery ? 2 : 1;
        EXPECT_EQ(Captured(&capturer, frames).size(), once) << record::RuleName(rule);
        capturer.Reset();
        EXPECT_EQ(Captured(&capturer, frames).size(), once) << record::RuleName(rule);
    }
}

TEST(CaptureRule, NamesReadBackAndNothingElseParses) {
    for (const CaptureRule rule : {CaptureRule::kSettled, CaptureRule::kData, CaptureRule::kChange,
                                   CaptureRule::kEvery, CaptureRule::kSettledAll})
        EXPECT_EQ(record::ParseRule(record::RuleName(rule)), rule);
    for (const char* name : {"", "Settled", "every ", "stable", "dat"})
        EXPECT_FALSE(record::ParseRule(name)) << '"' << name << '"';
}

}  // namespace
