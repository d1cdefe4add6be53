#pragma once

// The forms a captured reading is written in: CSV records, JSON lines and a one-line text.
// Every string field is valid UTF-8 whatever bytes the device name or id hold.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serial/PortNames.h"
#include "record/Capture.h"

namespace record {

// "2026-12-08T16:49:43.123Z": ISO 8601 in UTC, milliseconds (cut, not rounded).
std::string UtcText(std::chrono::system_clock::time_point time);

// "COM5".
using serial_port::PortName;
// Its port name, "COM5" or the device path the user named the port by.
std::string PortName(const CapturedReading& r);

// CSV, RFC 4180: fields quoted when they hold a comma, quote, CR or LF; quotes doubled; a field
// a spreadsheet could run as a formula guarded (CsvField); records end with CRLF. The columns a
// record may hold, by the names its header gives them:
//  time_utc, scale (the scale's id), port, device,
//  text = the cells as shown ("-0.50"; the JSON field of the same name; logs begun before it
//         was named so call it "reading"), value = the decimal as a number ("-0.50") or empty,
//  unit = "kg" or empty, stable, net, zero, hold, overload, battery_low as 1/0,
//  bars = 0..6, capture = the rule name, frame = 24 lower-case hex digits; with the bench rules
//  (record/Weighing.h) check = under/ok/over, deviation = a decimal in the check's unit, pieces,
//  and unit_weight in the sample's unit, each empty when the rule said nothing of the reading.
enum class CsvColumn {
    kTime,
    kScale,
    kPort,
    kDevice,
    kText,
    kValue,
    kUnit,
    kStable,
    kNet,
    kZero,
    kHold,
    kOverLoad,
    kBatteryLow,
    kBars,
    kCapture,
    kFrame,
    kCheck,
    kDeviation,
    kPieces,
    kUnitWeight
};
using CsvColumns = std::vector<CsvColumn>;

// time_utc,port,device,text,value,unit,stable,net,zero,hold,overload,battery_low,capture: what
// every log has held, so that a log begun before goes on with the same columns.
const CsvColumns& DefaultCsvColumns();
// "time_utc,scale,value,unit" as columns. None, with the reason in `error`, for an empty list,
// an unknown or a repeated name.
std::optional<CsvColumns> ParseCsvColumns(std::string_view names, std::string* error);

std::string_view ColumnName(CsvColumn column);

// How numbers and fields are written for a spreadsheet's locale: "13.989" with ',' between the
// fields (RFC 4180, the default), or "13,989" with ';' between them. The decimal sign is the
// value column's and the text column's when the text is a number; other texts stay as shown.
struct CsvDialect {
    char decimal = '.';
    char Separator() const { return decimal == ',' ? ';' : ','; }
    bool operator==(const CsvDialect&) const = default;
};
// "." or ","; none for anything else.
std::optional<CsvDialect> ParseCsvDecimal(std::string_view sign);
// The dialect a header line was written in; none when `line` is no header of ours.
std::optional<CsvDialect> DialectOfHeader(std::string_view line);

std::string CsvHeader(const CsvColumns& columns = DefaultCsvColumns(),
                      CsvDialect dialect = {});  // with its CRLF
// One record, with its CRLF; `scaleId` fills the scale column.
std::string CsvRecord(const CapturedReading& r, const CsvColumns& columns = DefaultCsvColumns(),
                      std::string_view scaleId = {}, CsvDialect dialect = {});

// A column's cell as a spreadsheet holds it: a number (the value, a flag as 1 or 0, the bars), a
// time (UTC), text (valid UTF-8, never run as a formula: a spreadsheet file types its cells), or
// nothing (a reading that is no number has no value).
struct SheetCell {
    enum class Kind { kEmpty, kNumber, kTime, kText };
    Kind kind = Kind::kEmpty;
    double number = 0;
    int decimals = 0;  // of a number: as the scale showed it
    std::chrono::system_clock::time_point time;
    std::string text;
};
SheetCell SheetCellOf(const CapturedReading& r, CsvColumn column, std::string_view scaleId);

// The frame's bytes in lower-case hex, or those of another family's reading: the frame column.
std::string HexOf(const CapturedReading& r);

// One JSON object, no newline, fields in this order:
// time, scale, port, device, reading (scale::SpokenText), text, value (a JSON number written
// from the exact decimal, or null), unit (or null), stable, net, zero, hold, overload,
// battery_low, bars, capture, frame (24 lower-case hex digits; another family's reading: its
// bytes); then, only while a bench rule is on, check ("under", "ok" or "over") and deviation (a
// number in the check's unit), pieces and unit_weight (a number in the reading's unit); and last
// protocol (the family's name) for a reading of a named or detected family. Strings escaped per
// RFC 8259 (control characters as \u00XX; invalid UTF-8 never passed through raw).
std::string JsonObject(const CapturedReading& r, std::string_view scaleId);

// "12:01:02.345 COM5 123.456 kg stable net": local time of day, port, cells, unit, then the
// names of the lit flags as the CSV columns name them. For people at a terminal.
std::string TextLine(const CapturedReading& r);

}  // namespace record
