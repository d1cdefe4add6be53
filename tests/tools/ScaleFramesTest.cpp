#include "tools/scalesim/ScaleFrames.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace scalesim {
namespace {

TEST(ScaleFrames, FrameCarriesHeaderUnusedByteThenSlotsInOrder) {
    const DisplaySlots slots{0x11, 0x22, 0x33, {0x44, 0x55, 0x66, 0x77, 0x88, 0x99}};
    const Frame expected{0x06, 0xAA, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99};
    EXPECT_EQ(EncodeFrame(slots), expected);
    EXPECT_EQ(DecodeFrame(expected), slots);
}

TEST(ScaleFrames, DecodeRefusesWrongHeaderOrLength) {
    Frame frame = EncodeFrame({1, 2, 3, {4, 5, 6, 7, 8, 9}});
    const std::vector<std::uint8_t> shorter(frame.begin(), frame.end() - 1);
    EXPECT_FALSE(DecodeFrame(shorter));
    frame[1] = 0xAB;
    EXPECT_FALSE(DecodeFrame(frame));
    frame[1] = 0xAA;
    frame[0] = 0x05;
    EXPECT_FALSE(DecodeFrame(frame));
}

TEST(ScaleFrames, DigitGlyphsAreTheSevenSegmentFigures) {
    const std::uint8_t expected[] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    for (int digit = 0; digit <= 9; ++digit)
        EXPECT_EQ(DigitGlyph(digit), expected[digit]) << digit;
    EXPECT_EQ(DigitGlyph(-1), 0);
    EXPECT_EQ(DigitGlyph(10), 0);
}

TEST(ScaleFrames, BarMaskFillsFromTheBottomBar) {
    const std::pair<int, std::uint8_t> cases[] = {
        {-3, 0x00}, {0, 0x00}, {1, 0x02}, {2, 0x06}, {5, 0x3E}, {6, 0x7E}, {9, 0x7E},
    };
    for (const auto& [count, mask] : cases)
        EXPECT_EQ(BarMask(count), mask) << count;
}

struct FormatCase {
    const char* text;
    std::optional<DigitCells> cells;
};

TEST(ScaleFrames, FormatWeightTable) {
    constexpr std::uint8_t k0 = 0x3F, k1 = 0x06, k2 = 0x5B, k3 = 0x4F, k4 = 0x66, k5 = 0x6D;
    constexpr std::uint8_t kP = kSegPoint, kM = kSegG;
    const FormatCase cases[] = {
        {"12.345", DigitCells{0, k1, k2 | kP, k3, k4, k5}},
        {"-0.50", DigitCells{0, 0, kM, k0 | kP, k5, k0}},
        {"0", DigitCells{0, 0, 0, 0, 0, k0}},
        {"", DigitCells{}},
        {"123450", DigitCells{k1, k2, k3, k4, k5, k0}},
        {"-12.345", DigitCells{kM, k1, k2 | kP, k3, k4, k5}},  // the point takes no cell
        {"1.", DigitCells{0, 0, 0, 0, 0, k1 | kP}},
        {".5", DigitCells{0, 0, 0, 0, kP, k5}},
        {"1 2", DigitCells{0, 0, 0, k1, 0, k2}},
        {"------", DigitCells{kM, kM, kM, kM, kM, kM}},
        // Too wide for six cells: the caller shows an over-load instead.
        {"1234567", std::nullopt},
        {"-123456", std::nullopt},
        {"-1058.25", std::nullopt},
        {".123456", std::nullopt},
        // Not a reading.
        {"1.2.3", std::nullopt},
        {"12a", std::nullopt},
        {"+1", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatWeight(c.text), c.cells) << '"' << c.text << '"';
}

TEST(ScaleFrames, WeightTextTable) {
    const struct {
        std::int64_t counts;
        int decimals;
        const char* text;
    } cases[] = {
        {12345, 3, "12.345"}, {-50, 2, "-0.50"}, {5, 3, "0.005"},
        {0, 3, "0.000"},      {0, 0, "0"},       {-7, 0, "-7"},
        {10582, 1, "1058.2"}, {-1, 1, "-0.1"},   {INT64_MIN, 0, "-9223372036854775808"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WeightText(c.counts, c.decimals), c.text) << c.counts << "/" << c.decimals;
}

TEST(ScaleFrames, ReadingTextReadsFormattedCellsBack) {
    for (const char* text : {"12.345", "-0.50", "0", "1058.2", "-4.724", "------", "0.000"}) {
        const auto cells = FormatWeight(text);
        ASSERT_TRUE(cells) << text;
        EXPECT_EQ(ReadingText(*cells), text);
    }
    EXPECT_EQ(ReadingText(DigitCells{}), "");
    EXPECT_EQ(ReadingText(DigitCells{0, 0, 0, 0, 0x0A, 0x3F}), "?0");
}

}  // namespace
}  // namespace scalesim
