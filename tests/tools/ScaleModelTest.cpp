#include "tools/scalesim/ScaleModel.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace scalesim {
namespace {

constexpr int kRate = 10;

std::string Reading(const ScaleModel& scale) {
    return ReadingText(scale.Slots().hex);
}

// A scale with a known load that stays put.
ScaleModel SettledScale(std::int64_t grams) {
    ScaleModel scale(7, kRate);
    scale.PlaceLoad(grams);
    return scale;
}

TEST(ScaleModel, TareZeroesTheReadingAndLightsNet) {
    ScaleModel scale = SettledScale(12345);
    EXPECT_EQ(Reading(scale), "12.345");
    EXPECT_EQ(scale.Slots().unit, kUnitKg | kUnitGross);
    EXPECT_EQ(scale.Slots().sign & kSignTare, 0);

    ASSERT_TRUE(scale.PressKey(kKeyTare));
    EXPECT_EQ(Reading(scale), "0.000");
    EXPECT_EQ(scale.Slots().unit, kUnitKg | kUnitNet);
    EXPECT_NE(scale.Slots().sign & kSignTare, 0);

    scale.PlaceLoad(12845);  // 500 g added to the container
    EXPECT_EQ(Reading(scale), "0.500");
    scale.PlaceLoad(0);  // everything taken off
    EXPECT_EQ(Reading(scale), "-12.345");
    EXPECT_NE(scale.Slots().sign & kSignZero, 0);

    ASSERT_TRUE(scale.PressKey(kKeyTare | kDoubleClick));
    EXPECT_EQ(Reading(scale), "0.000");
    EXPECT_EQ(scale.Slots().unit, kUnitKg | kUnitGross);
    EXPECT_EQ(scale.Slots().sign & kSignTare, 0);
}

TEST(ScaleModel, TareWaitsForASettledReading) {
    ScaleModel scale(3, kRate);
    int ticks = 0;
    while (scale.Stable() && ticks++ < 100 * kRate)
        scale.Tick();
    ASSERT_FALSE(scale.Stable()) << "the load never moved";
    scale.PressKey(kKeyTare);
    EXPECT_FALSE(scale.TareInUse());

    while (!scale.Stable() && ticks++ < 200 * kRate) {
        EXPECT_EQ(scale.Slots().unit & kUnitNet, 0);
        scale.Tick();
    }
    // The first net frame shows exactly nothing.
    EXPECT_NE(scale.Slots().unit & kUnitNet, 0);
    EXPECT_EQ(Reading(scale), "0.000");
}

TEST(ScaleModel, ModeCyclesUnitsWithConversion) {
    ScaleModel scale = SettledScale(1000);
    const struct {
        std::uint8_t unit;
        const char* reading;
    } cycle[] = {
        {kUnitKg, "1.000"}, {kUnitLb, "2.20"},    {kUnitOz, "35.3"},
        {kUnitSt, "0.157"}, {kUnitViss, "0.612"}, {kUnitKg, "1.000"},
    };
    for (const auto& step : cycle) {
        EXPECT_EQ(scale.Slots().unit, step.unit | kUnitGross) << step.reading;
        EXPECT_EQ(Reading(scale), step.reading);
        scale.PressKey(kKeyMode);
    }

    // Backwards with a double-click: kg -> viss -> st.
    scale = SettledScale(1000);
    scale.PressKey(kKeyMode | kDoubleClick);
    EXPECT_EQ(scale.Unit(), ScaleUnit::Viss);
    scale.PressKey(kKeyMode | kDoubleClick);
    EXPECT_EQ(scale.Unit(), ScaleUnit::St);
}

TEST(ScaleModel, LargestNetReadingsFitInEveryUnit) {
    // A full tare and an empty platform give the widest negative readings.
    ScaleModel scale = SettledScale(ScaleModel::kCapacityGrams);
    scale.PressKey(kKeyTare);
    scale.PlaceLoad(0);
    const char* expected[] = {"-30.000", "-66.14", "-1058.2", "-4.724", "-18.372"};
    for (const char* reading : expected) {
        EXPECT_EQ(Reading(scale), reading);
        EXPECT_EQ(scale.Slots().wm & kWmOverLoad, 0) << reading;
        scale.PressKey(kKeyMode);
    }
}

TEST(ScaleModel, OnOffBlanksEverySlotAndRestores) {
    ScaleModel scale = SettledScale(2500);
    scale.PressKey(kKeyMode);
    const DisplaySlots before = scale.Slots();

    scale.PressKey(kKeyOnOff);
    EXPECT_FALSE(scale.PoweredOn());
    EXPECT_EQ(scale.Slots(), DisplaySlots{});
    // While off the other keys do nothing, and a double-click does not switch back.
    scale.PressKey(kKeyTare);
    scale.PressKey(kKeyMode);
    scale.PressKey(kKeyOnOff | kDoubleClick);
    scale.Tick();
    EXPECT_EQ(scale.Slots(), DisplaySlots{});

    scale.PressKey(kKeyOnOff);
    EXPECT_EQ(scale.Slots(), before);
}

TEST(ScaleModel, DataFlashesItsIndicatorForAFewFrames) {
    ScaleModel scale = SettledScale(800);
    EXPECT_EQ(scale.Slots().sign & kSignData, 0);
    scale.PressKey(kKeyData);
    ASSERT_GE(scale.DataFlashTicks(), 2);
    for (int tick = 0; tick < scale.DataFlashTicks(); ++tick) {
        EXPECT_NE(scale.Slots().sign & kSignData, 0) << tick;
        scale.Tick();
    }
    EXPECT_EQ(scale.Slots().sign & kSignData, 0);
}

TEST(ScaleModel, DoubleDataHoldsTheReading) {
    ScaleModel scale = SettledScale(1000);
    scale.PressKey(kKeyData | kDoubleClick);
    scale.PlaceLoad(2000);
    EXPECT_EQ(Reading(scale), "1.000");
    EXPECT_NE(scale.Slots().sign & kSignHold, 0);
    scale.PressKey(kKeyData | kDoubleClick);
    EXPECT_EQ(Reading(scale), "2.000");
    EXPECT_EQ(scale.Slots().sign & kSignHold, 0);
}

TEST(ScaleModel, BarsFollowTheLoadAndTheLegendMarksOverLoad) {
    const std::int64_t full = ScaleModel::kCapacityGrams;
    const struct {
        std::int64_t grams;
        std::uint8_t wm;
        const char* reading;
    } cases[] = {
        {0, 0x00, "0.000"},         {1, 0x02, "0.001"},
        {full / 6, 0x02, "5.000"},  {full / 6 + 1, 0x06, "5.001"},
        {full / 2, 0x0E, "15.000"}, {full - 1, 0x7E, "29.999"},
        {full, 0x7E, "30.000"},     {full + 1, 0xFE, "------"},
    };
    for (const auto& c : cases) {
        const ScaleModel scale = SettledScale(c.grams);
        EXPECT_EQ(scale.Slots().wm, c.wm) << c.grams;
        EXPECT_EQ(Reading(scale), c.reading);
    }
}

TEST(ScaleModel, IndicatorsForEmptyAndSettled) {
    ScaleModel scale = SettledScale(0);
    EXPECT_EQ(scale.Slots().sign, kSignZero | kSignStable);
    scale.PlaceLoad(5);
    EXPECT_EQ(scale.Slots().sign, kSignStable);
}

TEST(ScaleModel, OnlyKeyBytesAreKeys) {
    ScaleModel scale(1, kRate);
    for (std::uint8_t key : {0x44, 0xC4, 0x4D, 0xCD, 0x54, 0xD4, 0x4F, 0xCF})
        EXPECT_TRUE(scale.PressKey(key)) << int(key);
    for (std::uint8_t other : {0x05, 0x00, 0x64, 0x58, 0xFF, 0x84})
        EXPECT_FALSE(scale.PressKey(other)) << int(other);
}

std::vector<DisplaySlots> FramesOf(std::uint32_t seed, int ticks) {
    ScaleModel scale(seed, kRate);
    std::vector<DisplaySlots> frames;
    for (int i = 0; i < ticks; ++i) {
        scale.Tick();
        frames.push_back(scale.Slots());
    }
    return frames;
}

TEST(ScaleModel, SameSeedSameFrames) {
    EXPECT_EQ(FramesOf(42, 3000), FramesOf(42, 3000));
    EXPECT_NE(FramesOf(42, 3000), FramesOf(43, 3000));
}

TEST(ScaleModel, LoadSettlesBetweenMovesAndVisitsEmptyAndOverLoad) {
    ScaleModel scale(11, kRate);
    std::set<std::int64_t> settledLoads;
    bool sawEmpty = false;
    bool sawOverLoad = false;
    int settledRun = 0;
    int shortestRun = 1 << 30;
    std::int64_t previous = scale.GrossGrams();
    for (int i = 0; i < 2000 * kRate; ++i) {
        const bool wasStable = scale.Stable();
        scale.Tick();
        if (wasStable && scale.Stable()) {
            EXPECT_EQ(scale.GrossGrams(), previous) << "a settled load moved at tick " << i;
        }
        if (scale.Stable()) {
            ++settledRun;
            settledLoads.insert(scale.GrossGrams());
        } else if (settledRun > 0) {
            shortestRun = std::min(shortestRun, settledRun);
            settledRun = 0;
        }
        sawEmpty |= (scale.Slots().sign & kSignZero) != 0;
        sawOverLoad |= (scale.Slots().wm & kWmOverLoad) != 0;
        previous = scale.GrossGrams();
    }
    EXPECT_GE(shortestRun, 2 * kRate) << "a reading should stay settled for seconds";
    EXPECT_GT(settledLoads.size(), 20u);
    EXPECT_TRUE(sawEmpty);
    EXPECT_TRUE(sawOverLoad);
}

}  // namespace
}  // namespace scalesim
