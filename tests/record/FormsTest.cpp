// The written forms of a captured reading: times, CSV, JSON and the text line.

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "record/Escape.h"
#include "record/Forms.h"
#include "tests/record/Frames.h"

namespace {

using namespace std::chrono;
using record_test::MakeFrame;
using record_test::Showing;

// 2026-12-08T16:49:43.123Z
const system_clock::time_point kTime =
    sys_days{year{2026} / December / 8} + hours{16} + minutes{49} + seconds{43} + milliseconds{123};

record::CapturedReading Reading(const scale::Slots& values, std::string device = "/dev/ttyUSB0") {
    return record::CaptureOf(MakeFrame(values, kTime), 5, device, record::CaptureRule::kChange);
}

// -0.50 lb, stable, net, 2 bars.
record::CapturedReading NetPounds() {
    scale::Slots values = Showing("-0.50", scale::kSignStable, scale::kUnitNet | 0x02);
    values.wm = 0x06;
    return Reading(values);
}

TEST(UtcText, WritesMillisecondsCutNotRounded) {
    const struct {
        system_clock::time_point time;
        const char* text;
    } cases[] = {
        {kTime, "2026-12-08T16:49:43.123Z"},
        {kTime + microseconds{999}, "2026-12-08T16:49:43.123Z"},
        {system_clock::time_point{}, "1970-01-01T00:00:00.000Z"},
        {system_clock::time_point{} - milliseconds{1}, "1969-12-31T23:59:59.999Z"},
        {sys_days{year{2024} / February / 29} + hours{23} + minutes{59} + seconds{59},
         "2024-02-29T23:59:59.000Z"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(record::UtcText(c.time), c.text);
}

TEST(Csv, WritesTheColumnsInOrder) {
    EXPECT_EQ(record::CsvHeader(),
              "time_utc,port,device,text,value,unit,stable,net,zero,hold,overload,battery_low,"
              "capture\r\n");
    EXPECT_EQ(record::CsvRecord(NetPounds()),
              "2026-12-08T16:49:43.123Z,COM5,/dev/ttyUSB0,-0.50,-0.50,lb,1,1,0,0,0,0,change\r\n");
    EXPECT_EQ(record::CsvRecord(Reading(Showing("----", 0, 0))),
              "2026-12-08T16:49:43.123Z,COM5,/dev/ttyUSB0,----,,,0,0,0,0,0,0,change\r\n");
}

TEST(Csv, WritesTheColumnsNamed) {
    std::string error;
    const auto columns = record::ParseCsvColumns("scale,time_utc,value,unit,bars,frame", &error);
    ASSERT_TRUE(columns) << error;
    EXPECT_EQ(record::CsvHeader(*columns), "scale,time_utc,value,unit,bars,frame\r\n");
    EXPECT_EQ(record::CsvRecord(NetPounds(), *columns, "-lab.2"),
              "\"'-lab.2\",2026-12-08T16:49:43.123Z,-0.50,lb,2,06aa00060442000040bf6d3f\r\n");
    const std::string every =
        "time_utc,scale,port,device,text,value,unit,stable,net,zero,hold,"
        "overload,battery_low,bars,capture,frame";
    ASSERT_TRUE(record::ParseCsvColumns(every, &error)) << error;
    EXPECT_EQ(record::CsvHeader(*record::ParseCsvColumns(every, &error)), every + "\r\n");
    for (const char* bad : {"", "value,,unit", "Value", "value,value", "reading"})
        EXPECT_FALSE(record::ParseCsvColumns(bad, &error)) << bad;
}

TEST(Csv, QuotesAFieldThatNeedsIt) {
    const struct {
        const char* device;
        const char* field;
    } cases[] = {
        {"/dev/serial/by-id/usb-A,B", "\"/dev/serial/by-id/usb-A,B\""},
        {"/dev/x\"y\"", "\"/dev/x\"\"y\"\"\""},
        {"/dev/a\r\nb", "\"/dev/a\r\nb\""},
        {"/dev/caf\xC3\xA9", "/dev/caf\xC3\xA9"},
        {"/dev/bad\xFF", "/dev/bad\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        const std::string line = record::CsvRecord(Reading(Showing("1"), c.device));
        EXPECT_EQ(line.substr(30, line.find(",1,1,") - 30), c.field) << c.device;
    }
}

// A hostile scale's shapes or a planted device name must not become a spreadsheet formula,
// and no number may change.
TEST(Csv, GuardsACellASpreadsheetWouldRun) {
    const struct {
        const char* text;
        const char* field;
    } cases[] = {
        {"-0.50", "-0.50"},
        {"-.5", "-.5"},
        {"-000", "-000"},
        {"1E5", "1E5"},
        {"-A1", "\"'-A1\""},
        {"-1E1", "\"'-1E1\""},
        {"-", "-"},
        {"----", "----"},
        {"--1", "\"'--1\""},
        {"+1", "\"'+1\""},
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
        {"@SUM(A1)", "\"'@SUM(A1)\""},
        {"\t=1", "\"'\t=1\""},
        {"\r=1", "\"'\r=1\""},
        {"a=1", "a=1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(record::CsvField(c.text), c.field) << c.text;
    EXPECT_EQ(record::CsvRecord(Reading(Showing("-DEAD"))),
              "2026-12-08T16:49:43.123Z,COM5,/dev/ttyUSB0,\"'-DEAD\",,kg,0,0,0,0,0,0,change\r\n");
}

// For a spreadsheet in a decimal-comma locale: the figures keep their meaning, ';' separates,
// and the formula guard still holds.
TEST(Csv, DecimalCommaDialect) {
    const record::CsvDialect comma = *record::ParseCsvDecimal(",");
    EXPECT_EQ(comma.Separator(), ';');
    EXPECT_FALSE(record::ParseCsvDecimal(";"));
    EXPECT_EQ(record::CsvHeader(record::DefaultCsvColumns(), comma),
              "time_utc;port;device;text;value;unit;stable;net;zero;hold;overload;battery_low;"
              "capture\r\n");
    const struct {
        const char* cells;
        const char* device;
        const char* record;
    } cases[] = {
        {"13.989", "/dev/ttyUSB0",
         "2026-12-08T16:49:43.123Z;COM5;/dev/ttyUSB0;13,989;13,989;kg;0;0;0;0;0;0;change\r\n"},
        {"-.5", "/dev/a;b,c",
         "2026-12-08T16:49:43.123Z;COM5;\"/dev/a;b,c\";-,5;-0,5;kg;0;0;0;0;0;0;change\r\n"},
        {"-A1", "-1+1",
         "2026-12-08T16:49:43.123Z;COM5;\"'-1+1\";\"'-A1\";;kg;0;0;0;0;0;0;change\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(record::CsvRecord(Reading(Showing(c.cells), c.device),
                                    record::DefaultCsvColumns(), {}, comma),
                  c.record);
    const struct {
        const char* line;
        std::optional<char> decimal;
    } headers[] = {{"time_utc,port", '.'},
                   {"time_utc;port", ','},
                   {"reading;x", ','},
                   {"2026-12-08T16:49:43.123Z,COM5", std::nullopt},
                   {"time_utc", std::nullopt}};
    for (const auto& h : headers) {
        const auto dialect = record::DialectOfHeader(h.line);
        EXPECT_EQ(dialect ? std::optional<char>(dialect->decimal) : std::nullopt, h.decimal)
            << h.line;
    }
}

TEST(Json, WritesTheFieldsInOrder) {
    EXPECT_EQ(record::JsonObject(NetPounds(), "bench-1"),
              R"({"time":"2026-12-08T16:49:43.123Z","scale":"bench-1","port":"COM5",)"
              R"("device":"/dev/ttyUSB0","reading":"-0.50 lb net, stable, 2 of 6 bars",)"
              R"("text":"-0.50","value":-0.50,"unit":"lb","stable":true,"net":true,)"
              R"("zero":false,"hold":false,"overload":false,"battery_low":false,"bars":2,)"
              R"("capture":"change","frame":"06aa00060442000040bf6d3f"})");
}

TEST(Json, ValueIsAJsonNumberOrNull) {
    const std::regex number(R"(-?(0|[1-9][0-9]*)(\.[0-9]+)?)");
    const struct {
        const char* cells;
        const char* value;
    } cases[] = {
        {"-0.50", "-0.50"}, {"123.456", "123.456"}, {"007", "7"},
        {"00.5", "0.5"},    {"-000", "-0"},         {"----", "null"},
    };
    for (const auto& c : cases) {
        const std::string json = record::JsonObject(Reading(Showing(c.cells)), "s");
        const std::size_t at = json.find("\"value\":") + 8;
        const std::string value = json.substr(at, json.find(',', at) - at);
        EXPECT_EQ(value, c.value) << c.cells;
        EXPECT_TRUE(value == "null" || std::regex_match(value, number)) << value;
    }
    const struct {
        const char* decimal;
        const char* number;
    } decimals[] = {{".5", "0.5"},  {"-.5", "-0.5"}, {"12.", "12"},   {"1.2.3", nullptr},
                    {"-", nullptr}, {".", nullptr},  {"1e3", nullptr}};
    for (const auto& d : decimals) {
        const auto text = record::NumberText(d.decimal);
        EXPECT_EQ(text.value_or("none"), d.number ? d.number : "none") << d.decimal;
        EXPECT_TRUE(!text || std::regex_match(*text, number)) << *text;
    }
}

TEST(Json, EscapesEveryStringItWrites) {
    const struct {
        const char* text;
        const char* json;
    } cases[] = {
        {"a\"b\\c", R"("a\"b\\c")"},
        {"tab\tnl\ndel\x7F", R"("tab\u0009nl\u000adel)"
                             "\x7F\""},
        {"\xC3\xA9\xF0\x9F\x98\x80", "\"\xC3\xA9\xF0\x9F\x98\x80\""},
        // A stray continuation, an overlong slash, a surrogate, a cut-off sequence.
        {"\x80/\xC0\xAF/\xED\xA0\x80/\xE2\x82",
         "\"\xEF\xBF\xBD/\xEF\xBF\xBD\xEF\xBF\xBD/"
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD/\xEF\xBF\xBD\""},
        // Nothing, escapes with no plain text between them, plain text ending in a cut-off.
        {"", R"("")"},
        {"\"\\\x01", R"("\"\\\u0001")"},
        {"\x1f"
         "kg \xC3\xA9~\xF0\x9F",
         "\"\\u001fkg \xC3\xA9~\xEF\xBF\xBD\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(record::JsonString(c.text), c.json) << c.text;
        const std::string object = record::JsonObject(Reading(Showing("1"), c.text), c.text);
        EXPECT_NE(object.find(std::string("\"scale\":") + c.json), std::string::npos) << object;
        EXPECT_NE(object.find(std::string("\"device\":") + c.json), std::string::npos) << object;
    }
}

TEST(TextLine, SaysTimePortWeightAndLitFlags) {
    setenv("TZ", "UTC0", 1);
    tzset();
    EXPECT_EQ(record::TextLine(NetPounds()), "16:49:43.123 COM5 -0.50 lb stable net");
    EXPECT_EQ(record::TextLine(Reading(Showing("", scale::kSignZero, 0))),
              "16:49:43.123 COM5 zero");
}

// A scale's text may hold what a terminal or a spreadsheet would obey: a title, a colour, a bell,
// a C1 escape, or a number in a form other than the scale's decimal.
TEST(Forms, NeitherTerminalNorSpreadsheetObeysAScalesText) {
    setenv("TZ", "UTC0", 1);
    tzset();
    const struct {
        const char* text;
        const char* csv;   // the text column
        const char* line;  // after the port in --format text
    } cases[] = {
        {"Stat \x1b]0;pwned\x07\x1b[31mRED", "Stat \\u001b]0;pwned\\u0007\\u001b[31mRED",
         "Stat \\u001b]0;pwned\\u0007\\u001b[31mRED kg"},
        {"a\xc2\x9b"
         "2J\x7f",
         "a\\u009b2J\\u007f", "a\\u009b2J\\u007f kg"},
        {"12.5\xc2\xb5", "12.5\xc2\xb5", "12.5\xc2\xb5 kg"},
        {"1E5", "\"1E5\"", "1E5 kg"},
        {"1/2", "\"1/2\"", "1/2 kg"},
        {"12:30", "\"12:30\"", "12:30 kg"},
        {"S 12", "S 12", "S 12 kg"},
    };
    for (const auto& c : cases) {
        auto reading = Reading(Showing("1"));
        reading.reading.text = c.text;
        const std::string csv = record::CsvRecord(reading);
        EXPECT_NE(csv.find(std::string(",") + c.csv + ","), std::string::npos) << csv;
        EXPECT_EQ(record::TextLine(reading), std::string("16:49:43.123 COM5 ") + c.line);
    }
}

}  // namespace
