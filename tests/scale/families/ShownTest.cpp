// A family's reading on the six cells, read back off the cells as a screen reader reads them.

#include <gtest/gtest.h>

#include "scale/Glyphs.h"
#include "scale/families/Shown.h"
#include "tests/scale/families/Decode.h"

namespace {

using families_test::BytesOf;
using families_test::Decode;

TEST(ShownOnCells, RightAlignedRoundedNeverLosingLeadingFigures) {
    struct Case {
        const char* exact;
        const char* cells;  // as CellsText reads them; nullptr: dashes (a carry may widen it)
    };
    const Case cases[] = {
        {"12.345", "12.345"},    {"0.5", "0.5"},           {"-0.50", "-0.50"},
        {"1234.567", "1234.57"}, {"-1234.567", "-1234.6"}, {"999.9995", "1000.00"},
        {"99999.95", "100000"},  {"0.0000004", "0.00000"}, {"123456", "123456"},
        {"1234567", nullptr},    {"-123456", nullptr},     {"999999.5", nullptr},
    };
    for (const Case& c : cases) {
        scale::Reading reading;
        reading.number = scale::Number{c.exact, 0};
        const auto shown = scale::families::ShownOf(reading);
        EXPECT_EQ(scale::CellsText(shown.values.hex), c.cells ? c.cells : "------") << c.exact;
    }
}

TEST(ShownOnCells, GlyphsAndUnitsWhereTheFamilySaysThem) {
    const auto lines = Decode("and", BytesOf("ST,NT,+0012.34kg\r\nQT,+00000123 PC\r\n"
                                             "OL,+9999999E+19\r\n"));
    ASSERT_EQ(lines.size(), 3u);
    const auto net = scale::families::ShownOf(lines[0].reading);
    EXPECT_EQ(net.values.unit, 0x01 | scale::kUnitNet);
    EXPECT_EQ(net.values.sign, scale::kSignStable);
    EXPECT_EQ(net.otherUnit, "");
    const auto count = scale::families::ShownOf(lines[1].reading);
    EXPECT_EQ(count.values.unit, 0);
    EXPECT_EQ(count.otherUnit, "pcs");
    EXPECT_EQ(scale::CellsText(count.values.hex), "123");
    const auto over = scale::families::ShownOf(lines[2].reading);
    EXPECT_EQ(over.values.wm, scale::kWmOverLoad);
    EXPECT_EQ(scale::CellsText(over.values.hex), "------");
}

}  // namespace
