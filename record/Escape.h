#pragma once

// Text made safe for the forms a reading is written in. Every input may hold any bytes: a device
// name comes from the file system, an id from the user.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace record {

// `text` with each run of bytes that is no well-formed UTF-8 (a stray continuation byte, an
// overlong form, a surrogate, a code point past U+10FFFF, a cut-off sequence) replaced by one
// U+FFFD per maximal ill-formed part, as Unicode recommends.
std::string ValidUtf8(std::string_view text);

// A JSON string literal, quotes included: '"' and '\' escaped, control characters as \u00XX,
// invalid UTF-8 repaired as ValidUtf8 does.
std::string JsonString(std::string_view text);

// `valid` with each control character (C0 but those in `keep`, DEL, C1) as JSON writes it
// ("\u001b"): a scale's text never drives the terminal or the program it is shown in.
std::string ControlsEscaped(std::string_view valid, std::string_view keep = {});

// One CSV field: repaired as ValidUtf8 does, controls but TAB, CR and LF escaped, then quoted when
// it holds a comma, `separator`, a quote, CR or LF, with quotes doubled. A field that a spreadsheet
// could take for a formula (one that starts with
// '=', '+', '-', '@', a tab or a CR and is neither a number nor dashes alone: "-A1", not
// "-0.50" or "----") gets a single quote in front and is quoted. With `quoteNumberLike`, a text
// a spreadsheet would read as a number in another form ("1E5", "1/2") is quoted too.
std::string CsvField(std::string_view text, char separator = ',', bool quoteNumberLike = false);

// Appends `byte` as two lower-case hex digits.
void AppendHex(std::string* text, std::uint8_t byte);

// A decimal ("-0.50", "007.5", "-.5", "12.") as a number both JSON and spreadsheets read
// ("-0.50", "7.5", "-0.5", "12"): the figures as written, less leading zeros a number may not
// have. None when `decimal` is no decimal.
std::optional<std::string> NumberText(std::string_view decimal);

}  // namespace record
