// A USB HID point-of-sale scale's reports: the common 6-byte data report in each unit, scaling
// and status of the point-of-sale usage tables, the same reports through a scale's report
// descriptor, the report that zeroes it, and what is refused.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "link/HidScale.h"
#include "platform/hid/ReportDescriptor.h"
#include "tests/link/ScaleDescriptor.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using scale_link::HidScaleLayout;

const Bytes kScaleDescriptor = hidtest::ScaleDescriptor();

HidScaleLayout DescriptorLayout() {
    const auto descriptor = hid::ParseDescriptor(kScaleDescriptor);
    EXPECT_TRUE(descriptor) << descriptor.Error().text;
    const auto layout = scale_link::ScaleLayoutOf(*descriptor);
    EXPECT_TRUE(layout) << layout.Error().text;
    return *layout;
}

struct Expected {
    Bytes report;
    const char* text;
    const char* unit;
    bool stable;
    bool zero;
    bool under;
    bool over;
    const char* error;
    bool number;
};

// [id 3, status, unit, scaling, weight low, weight high]
const Expected kReports[] = {
    // Each unit.
    {{3, 4, 0x01, 0, 0xE8, 0x03}, "1000", "mg", true, false, false, false, "", true},
    {{3, 4, 0x02, 0, 0xE8, 0x03}, "1000", "g", true, false, false, false, "", true},
    {{3, 4, 0x03, 0xFD, 0xE8, 0x03}, "1.000", "kg", true, false, false, false, "", true},
    {{3, 4, 0x04, 0xFE, 0x19, 0x00}, "0.25", "ct", true, false, false, false, "", true},
    {{3, 4, 0x05, 0, 0x07, 0x00}, "7", "tael", true, false, false, false, "", true},
    {{3, 4, 0x06, 0, 0x07, 0x00}, "7", "gr", true, false, false, false, "", true},
    {{3, 4, 0x07, 0, 0x07, 0x00}, "7", "dwt", true, false, false, false, "", true},
    {{3, 4, 0x08, 0, 0x07, 0x00}, "7", "t", true, false, false, false, "", true},
    {{3, 4, 0x09, 0, 0x07, 0x00}, "7", "ton", true, false, false, false, "", true},
    {{3, 4, 0x0A, 0, 0x07, 0x00}, "7", "ozt", true, false, false, false, "", true},
    {{3, 4, 0x0B, 0xFF, 0x8C, 0x00}, "14.0", "oz", true, false, false, false, "", true},
    {{3, 4, 0x0C, 0xFF, 0x16, 0x00}, "2.2", "lb", true, false, false, false, "", true},
    {{3, 4, 0x0D, 0, 0x07, 0x00}, "7", "", true, false, false, false, "", true},
    // Each scaling from -3 to +2; 5 x 10^-3 is the double 0.005, not 5 x 0.001.
    {{3, 4, 0x02, 0xFD, 0x05, 0x00}, "0.005", "g", true, false, false, false, "", true},
    {{3, 4, 0x02, 0xFE, 0x39, 0x30}, "123.45", "g", true, false, false, false, "", true},
    {{3, 4, 0x02, 0xFF, 0x39, 0x30}, "1234.5", "g", true, false, false, false, "", true},
    {{3, 4, 0x02, 0x00, 0xFF, 0xFF}, "65535", "g", true, false, false, false, "", true},
    {{3, 4, 0x02, 0x01, 0x39, 0x30}, "123450", "g", true, false, false, false, "", true},
    {{3, 4, 0x02, 0x02, 0x00, 0x00}, "0", "g", true, false, false, false, "", true},
    // Each status.
    {{3, 1, 0x02, 0, 0x10, 0x00}, "16", "g", false, false, false, false, "fault", false},
    {{3, 2, 0x02, 0, 0x00, 0x00}, "0", "g", true, true, false, false, "", true},
    {{3, 3, 0x02, 0, 0x10, 0x00}, "16", "g", false, false, false, false, "", true},
    {{3, 5, 0x02, 0, 0x10, 0x00}, "16", "g", false, false, true, false, "", true},
    {{3, 6, 0x02, 0, 0xFF, 0xFF}, "65535", "g", false, false, false, true, "", false},
    {{3, 7, 0x02, 0, 0x10, 0x00},
     "16",
     "g",
     false,
     false,
     false,
     false,
     "requires calibration",
     false},
    {{3, 8, 0x02, 0, 0x10, 0x00},
     "16",
     "g",
     false,
     false,
     false,
     false,
     "requires re-zeroing",
     false},
};

void Check(const HidScaleLayout& layout, const Expected& c) {
    SCOPED_TRACE(std::string(c.text) + " " + c.unit + " status " + std::to_string(c.report[1]));
    const auto reading = scale_link::ReadScaleReport(layout, c.report);
    ASSERT_TRUE(reading) << reading.Error().text;
    EXPECT_EQ(reading->text, c.text);
    EXPECT_EQ(reading->unit, c.unit);
    EXPECT_EQ(reading->indicators.stable, c.stable);
    EXPECT_EQ(reading->indicators.zero, c.zero);
    EXPECT_EQ(reading->underLoad, c.under);
    EXPECT_EQ(reading->indicators.overLoad, c.over);
    EXPECT_EQ(reading->error, c.error);
    ASSERT_EQ(reading->number.has_value(), c.number);
    if (c.number) {
        EXPECT_EQ(reading->number->exact, c.text);
        EXPECT_EQ(reading->number->value, std::stod(c.text));
    }
}

TEST(HidScale, TheSixByteReportInEachUnitScalingAndStatus) {
    for (const Expected& c : kReports)
        Check(scale_link::FixedScaleLayouts().front(), c);
}

TEST(HidScale, TheSameReportsThroughTheScalesReportDescriptor) {
    const HidScaleLayout layout = DescriptorLayout();
    EXPECT_EQ(layout.reportId, 3);
    EXPECT_EQ(layout.reportBytes, 6u);
    for (const Expected& c : kReports)
        if (c.report[2] <= 0x0C && c.report[1] <= 8)  // within the descriptor's ranges
            Check(layout, c);
}

TEST(HidScale, ZeroIsTheFeatureTheDescriptorNamesAndNoneWithoutIt) {
    EXPECT_EQ(scale_link::ZeroReport(DescriptorLayout()), (Bytes{2, 0x01}));
    EXPECT_FALSE(scale_link::ZeroReport(scale_link::FixedScaleLayouts().front()));
}

TEST(HidScale, ADescriptorWithoutAScaleFallsBackToTheFixedLayout) {
    // A keyboard's first items: no scale page.
    const Bytes keyboard = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7,
                            0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0xC0};
    const auto parsed = hid::ParseDescriptor(keyboard);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->fields.size(), 8u);
    EXPECT_FALSE(scale_link::ScaleLayoutOf(*parsed));
    EXPECT_EQ(scale_link::ChooseScaleLayout(keyboard).name, "the 6-byte data report");
    EXPECT_EQ(scale_link::ChooseScaleLayout(kScaleDescriptor).name, "report descriptor");
}

TEST(HidScale, ASignedWeightAndTheUnitExponentWithoutADataScaling) {
    // Report 1: Data Weight, -32768..32767, unit exponent -2 written as the nibble 0x0E.
    const Bytes descriptor = {0x05, 0x8D, 0x85, 0x01, 0x09, 0x40, 0x16, 0x00, 0x80, 0x26,
                              0xFF, 0x7F, 0x55, 0x0E, 0x75, 0x10, 0x95, 0x01, 0x81, 0x02};
    const auto parsed = hid::ParseDescriptor(descriptor);
    ASSERT_TRUE(parsed) << parsed.Error().text;
    const auto layout = scale_link::ScaleLayoutOf(*parsed);
    ASSERT_TRUE(layout);
    const auto reading = scale_link::ReadScaleReport(*layout, Bytes{1, 0x9C, 0xFF});
    ASSERT_TRUE(reading) << reading.Error().text;
    EXPECT_EQ(reading->text, "-1.00");
}

TEST(HidScale, WhatIsRefused) {
    const HidScaleLayout fixed = scale_link::FixedScaleLayouts().front();
    struct Case {
        Bytes bytes;
        bool descriptor;  // else a report of the fixed layout
        const char* said;
    };
    const Case cases[] = {
        {{3, 4, 2, 0, 0x10}, false, "a report of 5 bytes is no data report"},
        {{2, 4, 2, 0, 0x10, 0x00}, false, "no data report (6 bytes, id 3)"},
        {{3, 4, 2, 0x7F, 0x10, 0x00}, false, "a data scaling of 127"},
        {{0x05, 0x8D, 0x26, 0xFF}, true, "byte 2: an item is cut short"},
        {{0xC0}, true, "byte 0: an end of a collection that was not begun"},
        {{0x85, 0x00}, true, "byte 0: report id 0 is not 1 to 255"},
        {{0x75, 0x20, 0x96, 0x01, 0x04, 0x81, 0x02}, true, "a report longer than 4096 bytes"},
        {{0xB4}, true, "byte 0: a pop with nothing pushed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        std::string why;
        if (c.descriptor) {
            const auto parsed = hid::ParseDescriptor(c.bytes);
            ASSERT_FALSE(parsed);
            why = parsed.Error().text;
        } else {
            const auto reading = scale_link::ReadScaleReport(fixed, c.bytes);
            ASSERT_FALSE(reading);
            why = reading.Error().text;
        }
        EXPECT_NE(why.find(c.said), std::string::npos) << why;
    }
}

}  // namespace
