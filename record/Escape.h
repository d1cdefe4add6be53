#pragma once

// Text made safe for the forms a reading is written in. Every input may hold any bytes: a device
// name comes from the file system, an id from the user.

#include <optional>
#include <string>
#include <string_view>

namespace record {

// `text` with every byte that does not belong to well-formed UTF-8 (stray continuation bytes,
// overlong forms, surrogates, code points past U+10FFFF, cut-off sequences) replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// A JSON string literal, quotes included: '"' and '\' escaped, control characters as \u00XX,
// invalid UTF-8 repaired as ValidUtf8 does.
std::string JsonString(std::string_view text);

// One CSV field: repaired as ValidUtf8 does, then quoted when it holds a comma, quote, CR or LF,
// with quotes doubled.
std::string CsvField(std::string_view text);

// A decimal ("-0.50", "007.5", "-.5", "12.") as a number both JSON and spreadsheets read
// ("-0.50", "7.5", "-0.5", "12"): the figures as written, less leading zeros a number may not
// have. None when `decimal` is no decimal.
std::optional<std::string> NumberText(std::string_view decimal);

}  // namespace record
