#include "scale/families/Lines.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <utility>

namespace scale::families {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsUnitChar(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '%' || c == '#';
}

}  // namespace

bool LineSplitter::Push(std::uint8_t byte) {
    if (std::exchange(m_ended, false)) {
        m_text.clear();
        m_bytes.clear();
    }
    const auto c = static_cast<char>(m_sevenBit ? byte & 0x7F : byte);
    if (c == '\r' || c == '\n') {
        const bool whole = !std::exchange(m_dropped, false) && !m_text.empty();
        if (whole)
            m_ended = true;
        else {
            m_text.clear();
            m_bytes.clear();
        }
        return whole;
    }
    if (m_dropped)
        return false;
    if (m_text.size() == kMaxLine || (byte > 0x7F && !m_sevenBit)) {
        m_dropped = true;
        m_text.clear();
        m_bytes.clear();
        return false;
    }
    m_text += c;
    m_bytes.push_back(byte);
    return false;
}

void LineDecoder::Push(std::span<const std::uint8_t> bytes, std::vector<Decoded>* out) {
    for (const std::uint8_t byte : bytes) {
        if (!m_lines.Push(byte))
            continue;
        if (auto reading = Decode(m_lines.Text()))
            out->push_back({std::move(*reading), m_lines.Bytes()});
    }
}

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::optional<std::string> DecimalText(std::string_view field) {
    field = Trim(field);
    bool negative = false;
    if (!field.empty() && (field.front() == '+' || field.front() == '-')) {
        negative = field.front() == '-';
        field = Trim(field.substr(1));
    }
    const auto figures = std::count_if(field.begin(), field.end(), IsDigit);
    const auto points = std::count(field.begin(), field.end(), '.');
    if (figures == 0 || points > 1 || figures + points != std::ssize(field))
        return std::nullopt;
    // Leading zeros go, one stays before the point.
    std::size_t first = field.find_first_not_of('0');
    if (first == std::string_view::npos)
        first = field.size() - 1;
    else if (field[first] == '.' && first > 0)
        --first;
    std::string text = negative ? "-" : "";
    if (field[first] == '.')
        text += '0';
    text += field.substr(first);
    if (text.ends_with('.'))
        text.pop_back();
    return text;
}

std::optional<ValueUnit> SplitValueUnit(std::string_view field) {
    field = Trim(field);
    const std::size_t end = field.find_first_not_of("+- 0123456789.");
    const std::string_view unit = end == std::string_view::npos ? "" : Trim(field.substr(end));
    if (!std::all_of(unit.begin(), unit.end(), IsUnitChar))
        return std::nullopt;
    auto text = DecimalText(field.substr(0, end));
    if (!text)
        return std::nullopt;
    return ValueUnit{std::move(*text), UnitName(unit)};
}

std::string UnitName(std::string_view unit) {
    std::string lower(unit);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "pc" || lower == "pcs")
        return "pcs";
    return std::string(unit);
}

Reading WeightReading(std::string text, std::string unit, bool stable) {
    Reading reading;
    Number number;
    number.exact = text;
    std::from_chars(number.exact.data(), number.exact.data() + number.exact.size(), number.value);
    reading.number = std::move(number);
    reading.text = std::move(text);
    reading.unit = std::move(unit);
    reading.indicators.stable = stable;
    return reading;
}

Reading LoadReading(bool over) {
    Reading reading;
    reading.text = over ? "OL" : "UL";
    reading.indicators.overLoad = over;
    reading.underLoad = !over;
    return reading;
}

Reading ErrorReading(std::string_view reply) {
    Reading reading;
    reading.text = Trim(reply);
    reading.error = reading.text;
    return reading;
}

std::optional<Reading> HeadedReading(std::string_view state, std::string_view kind,
                                     std::string_view data) {
    if ((kind != "GS" && kind != "NT") || (state != "ST" && state != "US" && state != "OL"))
        return std::nullopt;
    std::optional<Reading> reading;
    if (state == "OL") {
        reading = LoadReading(!Trim(data).starts_with('-'));
    } else {
        auto weight = SplitValueUnit(data);
        if (!weight)
            return std::nullopt;
        reading = WeightReading(std::move(weight->text), std::move(weight->unit), state == "ST");
    }
    reading->indicators.net = kind == "NT";
    reading->indicators.gross = kind == "GS";
    return reading;
}

}  // namespace scale::families
