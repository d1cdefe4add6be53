#pragma once

// The forms a captured reading is written in: CSV records, JSON lines and a one-line text.
// Every string field is valid UTF-8 whatever bytes the device name or id hold.

#include <chrono>
#include <string>
#include <string_view>

#include "record/Capture.h"

namespace record {

// "2026-12-08T16:49:43.123Z": ISO 8601 in UTC, milliseconds (cut, not rounded).
std::string UtcText(std::chrono::system_clock::time_point time);

// "COM5".
std::string PortName(int port);

// CSV, RFC 4180: fields quoted when they hold a comma, quote, CR or LF; quotes doubled;
// records end with CRLF. Columns, in this order:
// time_utc,port,device,reading,value,unit,stable,net,zero,hold,overload,battery_low,capture
//  reading = the cells as shown ("-0.50"), value = the decimal as a number ("-0.50") or empty,
//  unit = "kg" or empty, flags as 1/0, capture = the rule name.
std::string CsvHeader();                          // the header record, with its CRLF
std::string CsvRecord(const CapturedReading& r);  // one record, with its CRLF

// One JSON object, no newline, fields in this order:
// time, scale, port, device, reading (scale::SpokenText), text, value (a JSON number written
// from the exact decimal, or null), unit (or null), stable, net, zero, hold, overload,
// battery_low, bars, capture, frame (24 lower-case hex digits). Strings escaped per RFC 8259
// (control characters as \u00XX; invalid UTF-8 never passed through raw).
std::string JsonObject(const CapturedReading& r, std::string_view scaleId);

// "12:01:02.345 COM5 123.456 kg stable net": local time of day, port, cells, unit, then the
// names of the lit flags as the CSV columns name them. For people at a terminal.
std::string TextLine(const CapturedReading& r);

}  // namespace record
