#include "record/Escape.h"

#include <cstdint>

namespace record {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

struct Lead {
    std::size_t length;  // the whole sequence; 0 for a byte that begins none
    std::uint8_t low;    // the range the second byte must lie in
    std::uint8_t high;
};

// Well-formed sequences as Unicode lists them: the second byte's range rules out overlong
// forms, surrogates and code points past U+10FFFF.
Lead LeadOf(std::uint8_t byte) {
    if (byte < 0x80)
        return {1, 0, 0};
    if (byte >= 0xC2 && byte <= 0xDF)
        return {2, 0x80, 0xBF};
    if (byte == 0xE0)
        return {3, 0xA0, 0xBF};
    if (byte == 0xED)
        return {3, 0x80, 0x9F};
    if (byte >= 0xE1 && byte <= 0xEF)
        return {3, 0x80, 0xBF};
    if (byte == 0xF0)
        return {4, 0x90, 0xBF};
    if (byte >= 0xF1 && byte <= 0xF3)
        return {4, 0x80, 0xBF};
    if (byte == 0xF4)
        return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

// How many bytes from the start of `text` form a well-formed sequence or, when none does, the
// longest start of one; `whole` says which.
std::size_t SequenceAt(std::string_view text, bool* whole) {
    const Lead lead = LeadOf(static_cast<std::uint8_t>(text[0]));
    std::size_t matched = lead.length == 0 ? 0 : 1;
    for (; matched < lead.length && matched < text.size(); ++matched) {
        const auto byte = static_cast<std::uint8_t>(text[matched]);
        const bool fits =
            matched == 1 ? byte >= lead.low && byte <= lead.high : byte >= 0x80 && byte <= 0xBF;
        if (!fits)
            break;
    }
    *whole = lead.length != 0 && matched == lead.length;
    return matched == 0 ? 1 : matched;
}

// How many bytes from the start of `text` JSON takes as they are: ASCII but controls, '"' and
// '\\'.
std::size_t PlainRun(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size()) {
        const auto byte = static_cast<std::uint8_t>(text[n]);
        if (byte < 0x20 || byte >= 0x80 || byte == '"' || byte == '\\')
            break;
        ++n;
    }
    return n;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view text) {
    for (const char c : text) {
        if (!IsDigit(c))
            return false;
    }
    return true;
}

// What a spreadsheet reads as a number in a form NumberText does not take: an exponent, a
// fraction, a time, a percentage ("1E5", "1/2", "12:30", "5%").
bool ReadAsNumber(std::string_view text) {
    if (text.find_first_of("0123456789") == std::string_view::npos || NumberText(text))
        return false;
    return text.find_first_not_of("0123456789.eE+-/:% ") == std::string_view::npos;
}

}  // namespace

std::string ControlsEscaped(std::string_view valid, std::string_view keep) {
    std::string escaped;
    escaped.reserve(valid.size());
    for (std::size_t i = 0; i < valid.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(valid[i]);
        const bool c1 =
            byte == 0xC2 && i + 1 < valid.size() && static_cast<std::uint8_t>(valid[i + 1]) <= 0x9F;
        const bool control = (byte < 0x20 || byte == 0x7F) && keep.find(valid[i]) == keep.npos;
        if (!c1 && !control) {
            escaped += valid[i];
            continue;
        }
        escaped += "\\u00";
        AppendHex(&escaped, c1 ? static_cast<std::uint8_t>(valid[++i]) : byte);
    }
    return escaped;
}

std::string ValidUtf8(std::string_view text) {
    std::string valid;
    valid.reserve(text.size());
    while (!text.empty()) {
        bool whole = false;
        const std::size_t length = SequenceAt(text, &whole);
        valid += whole ? text.substr(0, length) : kReplacement;
        text.remove_prefix(length);
    }
    return valid;
}

std::string JsonString(std::string_view text) {
    std::string json;
    json.reserve(text.size() + 2);
    json += '"';
    while (!text.empty()) {
        // A reading's text and names are plain ASCII: each run of it goes in at once.
        const std::size_t plain = PlainRun(text);
        json.append(text.substr(0, plain));
        text.remove_prefix(plain);
        if (text.empty())
            break;
        const auto byte = static_cast<std::uint8_t>(text[0]);
        if (byte >= 0x80) {
            bool whole = false;
            const std::size_t length = SequenceAt(text, &whole);
            json += whole ? text.substr(0, length) : kReplacement;
            text.remove_prefix(length);
            continue;
        }
        if (byte < 0x20) {
            json += "\\u00";
            AppendHex(&json, byte);
        } else {
            json += '\\';
            json += text[0];
        }
        text.remove_prefix(1);
    }
    json += '"';
    return json;
}

std::string CsvField(std::string_view text, char separator, bool quoteNumberLike) {
    std::string valid = ControlsEscaped(ValidUtf8(text), "\t\r\n");
    // A spreadsheet runs a cell that starts so as a formula; a quote in front makes it text. A
    // number, or the dashes a scale shows for no reading, has nothing to run.
    const bool formula = !valid.empty() &&
                         std::string_view("=+-@\t\r").find(valid[0]) != std::string_view::npos &&
                         !NumberText(valid) && valid.find_first_not_of('-') != std::string::npos;
    if (formula)
        valid.insert(0, "'");
    else if (valid.find_first_of(",\"\r\n") == std::string::npos &&
             valid.find(separator) == std::string::npos &&
             !(quoteNumberLike && ReadAsNumber(valid)))
        return valid;
    std::string quoted = "\"";
    for (const char c : valid) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

void AppendHex(std::string* text, std::uint8_t byte) {
    static constexpr char kHex[] = "0123456789abcdef";
    *text += kHex[byte >> 4];
    *text += kHex[byte & 0x0F];
}

std::optional<std::string> NumberText(std::string_view decimal) {
    const bool negative = decimal.starts_with('-');
    if (negative)
        decimal.remove_prefix(1);
    const std::size_t point = decimal.find('.');
    std::string_view whole = decimal.substr(0, point);
    std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : decimal.substr(point + 1);
    if (!AllDigits(whole) || !AllDigits(fraction) || whole.size() + fraction.size() == 0)
        return std::nullopt;
    while (whole.size() > 1 && whole.front() == '0')
        whole.remove_prefix(1);
    std::string number = negative ? "-" : "";
    number += whole.empty() ? "0" : whole;
    if (!fraction.empty())
        number.append(".").append(fraction);
    return number;
}

}  // namespace record
