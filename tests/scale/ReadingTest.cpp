// What a frame's values say: text, number, unit and indicators.

#include <gtest/gtest.h>

#include "scale/Reading.h"

namespace {

using scale::Indicators;
using scale::Read;
using scale::Reading;
using scale::Slots;

constexpr std::uint8_t kPoint = 0x80;
constexpr std::uint8_t kMinus = 0x40;
constexpr std::uint8_t k0 = 0x3F, k1 = 0x06, k2 = 0x5B, k3 = 0x4F, k4 = 0x66, k5 = 0x6D, k6 = 0x7D,
                       kE = 0x79;

struct ReadCase {
    const char* name;
    Slots values;
    const char* text;
    const char* exact;  // nullptr: no number
    double value;
    const char* unit;
    Indicators lit;
};

const ReadCase kCases[] = {
    {"a weight with its unit and indicators",
     {0x0E, 0x04, 0x01, {k1, k2, k3 | kPoint, k4, k5, k6}},
     "123.456",
     "123.456",
     123.456,
     "kg",
     {.stable = true, .bars = 3}},
    {"a negative weight, blanks trimmed",
     {0, 0, 0x02, {0, 0, kMinus, k0 | kPoint, k5, k0}},
     "-0.50",
     "-0.50",
     -0.5,
     "lb",
     {}},
    {"a lone figure", {0, 0x01, 0, {0, 0, 0, 0, 0, k0}}, "0", "0", 0, "", {.zero = true}},
    {"a leading point gets its 0", {0, 0, 0, {0, 0, 0, 0, kPoint, k5}}, ".5", "0.5", 0.5, "", {}},
    {"a trailing point is dropped",
     {0, 0, 0, {0, 0, 0, 0, k1, k2 | kPoint}},
     "12.",
     "12",
     12,
     "",
     {}},
    {"dashes are no number",
     {0, 0, 0, {0, 0, kMinus, kMinus, kMinus, kMinus}},
     "----",
     nullptr,
     0,
     "",
     {}},
    {"a letter is no number", {0, 0, 0, {0, 0, 0, 0, 0, kE}}, "E", nullptr, 0, "", {}},
    {"an unknown shape reads as ?", {0, 0, 0, {0, 0, 0, 0, 0x01, k0}}, "?0", nullptr, 0, "", {}},
    {"two points are no number",
     {0, 0, 0, {0, 0, 0, k1 | kPoint, k2 | kPoint, k3}},
     "1.2.3",
     nullptr,
     0,
     "",
     {}},
    {"over load shows no number even with figures",
     {0x80 | 0x7E, 0, 0x01, {0, 0, 0, 0, k1, k2}},
     "12",
     nullptr,
     0,
     "kg",
     {.overLoad = true, .bars = 6}},
    {"gross and net are indicators, not units",
     {0, 0x08 | 0x10 | 0x20 | 0x02, 0x40 | 0x20 | 0x04, {0, 0, 0, 0, 0, k1}},
     "1",
     "1",
     1,
     "oz",
     {.hold = true,
      .tare = true,
      .gross = true,
      .net = true,
      .batteryLow = true,
      .dataSent = true}},
    {"a blank display", {}, "", nullptr, 0, "", {}},
};

TEST(Reading, ReadsTextNumberUnitAndIndicators) {
    for (const ReadCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const Reading reading = Read(c.values);
        EXPECT_EQ(reading.text, c.text);
        ASSERT_EQ(reading.number.has_value(), c.exact != nullptr);
        if (c.exact != nullptr) {
            EXPECT_EQ(reading.number->exact, c.exact);
            EXPECT_DOUBLE_EQ(reading.number->value, c.value);
        }
        EXPECT_EQ(reading.unit, c.unit);
        EXPECT_EQ(reading.indicators, c.lit);
    }
}

TEST(Reading, EveryMeaningfulBitChangesTheReading) {
    const Slots base{0, 0, 0, {0, 0, 0, 0, 0, k0}};
    for (int slot = 0; slot < 3; ++slot) {
        for (int bit = 0; bit < 8; ++bit) {
            Slots values = base;
            std::uint8_t* field[] = {&values.wm, &values.sign, &values.unit};
            *field[slot] = static_cast<std::uint8_t>(1u << bit);
            // The WM slot's bit 0, the Sign slot's bits 6 and 7 and the Unit slot's bit 7 light
            // nothing.
            const bool dark =
                (slot == 0 && bit == 0) || (slot == 1 && bit >= 6) || (slot == 2 && bit == 7);
            EXPECT_EQ(Read(values) == Read(base), dark) << "slot " << slot << " bit " << bit;
        }
    }
}

}  // namespace
