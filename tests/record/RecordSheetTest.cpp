// karvel-read --records --format xlsx: the record's weighings as a spreadsheet, with the columns
// of --format csv, times as date-times and decimals as numbers with their places.

#include <gtest/gtest.h>

#include <string>

#include "record/store/SqliteRecord.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Sheets.h"
#include "tools/peers/TestFiles.h"

namespace {

using record::store::Chain;
using record::store::SqliteRecord;

TEST(RecordSheet, TheRecordsWeighingsWithTheirSeqAndHash) {
    testing_support::TempDir dir;
    const std::string path = dir / "w.sqlite", sheet = dir / "w.xlsx";
    std::string hash;
    {
        auto kept = SqliteRecord::Open(path, SqliteRecord::Mode::kWrite);
        ASSERT_TRUE(kept);
        for (const char* value : {"12.340", "-0.5"}) {
            record::store::ChainRow row = record::store::EmptyRow(Chain::kWeighings);
            row.scale = "bench-1";
            row.SetField("time_utc", "2026-12-09T10:00:00.250Z");
            row.SetField("value", value);
            row.SetField("unit", "kg");
            row.SetField("stable", "1");
            row.SetField("operator", "=cmd|' /C calc'!A0");
            const auto appended = (*kept)->Append(row);
            ASSERT_TRUE(appended);
            hash = appended->hash;
        }
    }
    const auto run = testing_support::RunProgram(
        KARVEL_READ_BINARY,
        {"--records", "--record", "sqlite:" + path, "--format", "xlsx", "--output", sheet},
        dir.Path().string());
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const auto cells = testing_support::SheetCells(testing_support::FirstSheetXml(sheet));
    const auto cell = [&cells](const char* ref) { return testing_support::CellOf(cells, ref); };
    // scale, time_utc, port, device, protocol, text, value (G), unit, stable (I), ..., operator
    // (P), frame, software, record (S), hash (T).
    const struct {
        const char* ref;
        std::string shown;
    } expected[] = {
        {"A1", "scale"}, {"B1", "time_utc"},
        {"G1", "value"}, {"S1", "record"},
        {"T1", "hash"},  {"A2", "bench-1"},
        {"G2", "12.34"}, {"H2", "kg"},
        {"I2", "1"},     {"S2", "1"},
        {"G3", "-0.5"},  {"S3", "2"},
        {"T3", hash},    {"P3", "=cmd|' /C calc'!A0"},
    };
    for (const auto& e : expected)
        EXPECT_EQ(cell(e.ref), e.shown) << e.ref;
    // 2026-12-09 10:00:00.250 UTC as a spreadsheet's day number.
    EXPECT_NEAR(std::stod(cell("B2")), 46365.0 + (10 * 3600 + 0.25) / 86400.0, 1e-8) << cell("B2");
}

}  // namespace
