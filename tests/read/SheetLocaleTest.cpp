// karvel-read's spreadsheet under a decimal-comma locale, read back from the sheet's XML: numbers
// and times keep their point, as every spreadsheet reads them.

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/read/ReadTestSupport.h"
#include "tests/record/Frames.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/Sheets.h"
#include "tools/peers/PortDirectory.h"

namespace readtest {
namespace {

TEST(ReaderSheet, NumbersKeepTheirPointUnderADecimalCommaLocale) {
    const std::string missing = testing_support::DecimalCommaLocaleMissing();
    ASSERT_TRUE(missing.empty()) << missing;
    testing_support::PortDirectory ports;
    testing_support::PtyPeer scale(testing_support::PtyPeer::Role::Scale);
    ports.Map(1, scale.DevicePath());
    const testing_support::ScopedEnv portFolder("KARVEL_PORT_DIR", ports.Path());
    const testing_support::DecimalCommaLocale decimalComma;
    TempDir dir;
    const std::string file = dir / "weighings.xlsx";
    Child reader({ReaderPath(), "--port", "COM1", "--capture", "every", "--count", "2", "--check",
                  "12.3kg,-1,+1", "--format", "xlsx", "--output", file});
    ASSERT_TRUE(reader.WaitForError("reading COM1")) << reader.Errors();
    const scale::FrameBytes frame =
        scale::FrameOf(record_test::Showing("12.345", scale::kSignStable, record_test::kKg));
    scale.Send(frame);
    scale.Send(frame);
    ASSERT_EQ(reader.Wait(), 0) << reader.Errors();

    const std::string xml = testing_support::FirstSheetXml(file);
    const auto cells = testing_support::SheetCells(xml);
    const auto cell = [&cells](const char* ref) { return testing_support::CellOf(cells, ref); };
    // time_utc, port, device, text, value, unit, six flags, capture, check, deviation.
    EXPECT_EQ(cell("D2"), "12.345");
    EXPECT_EQ(cell("E2"), "12.345");
    EXPECT_EQ(cell("N2"), "ok");
    EXPECT_EQ(cell("O2"), "0.045");
    EXPECT_TRUE(std::regex_match(cell("A2"), std::regex(R"(\d{5}\.\d+)"))) << cell("A2");
    EXPECT_FALSE(std::regex_search(xml, std::regex(R"(\d,\d)"))) << xml;
}

}  // namespace
}  // namespace readtest
