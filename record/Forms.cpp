#include "record/Forms.h"

#include <time.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "record/Escape.h"

namespace record {

namespace {

using std::chrono::milliseconds;

struct Flag {
    const char* name;
    bool scale::Indicators::*lit;
};

// The flags every form carries, in their column order.
constexpr std::array<Flag, 6> kFlags = {{
    {"stable", &scale::Indicators::stable},
    {"net", &scale::Indicators::net},
    {"zero", &scale::Indicators::zero},
    {"hold", &scale::Indicators::hold},
    {"overload", &scale::Indicators::overLoad},
    {"battery_low", &scale::Indicators::batteryLow},
}};

// Milliseconds into the second, 0..999 also before 1970.
int MillisecondsOf(std::chrono::system_clock::time_point time) {
    const auto since = std::chrono::floor<milliseconds>(time).time_since_epoch();
    return static_cast<int>((since - std::chrono::floor<std::chrono::seconds>(since)).count());
}

std::string Value(const CapturedReading& r) {
    if (!r.reading.number)
        return {};
    return NumberText(r.reading.number->exact).value_or(std::string{});
}

std::string HexOf(const scale::FrameBytes& bytes) {
    std::string hex;
    for (const std::uint8_t byte : bytes)
        AppendHex(&hex, byte);
    return hex;
}

class JsonWriter {
  public:
    void Raw(std::string_view name, std::string_view value) {
        m_text += m_text.size() == 1 ? "" : ",";
        m_text.append(JsonString(name)).append(":").append(value);
    }
    void String(std::string_view name, std::string_view value) { Raw(name, JsonString(value)); }
    void StringOrNull(std::string_view name, std::string_view value) {
        Raw(name, value.empty() ? "null" : JsonString(value));
    }
    void Bool(std::string_view name, bool value) { Raw(name, value ? "true" : "false"); }
    std::string Close() { return m_text + "}"; }

  private:
    std::string m_text = "{";
};

using Cell = std::string (*)(const CapturedReading&, std::string_view scaleId);

struct Column {
    std::string_view name;
    Cell cell;
};

template <std::size_t kFlag>
std::string FlagCell(const CapturedReading& r, std::string_view) {
    return r.reading.indicators.*kFlags[kFlag].lit ? "1" : "0";
}

// In the order of CsvColumn.
constexpr std::array<Column, 16> kColumns = {{
    {"time_utc", [](const CapturedReading& r, std::string_view) { return UtcText(r.time); }},
    {"scale", [](const CapturedReading&, std::string_view id) { return CsvField(id); }},
    {"port", [](const CapturedReading& r, std::string_view) { return PortName(r.port); }},
    {"device", [](const CapturedReading& r, std::string_view) { return CsvField(r.device); }},
    {"text", [](const CapturedReading& r, std::string_view) { return CsvField(r.reading.text); }},
    {"value", [](const CapturedReading& r, std::string_view) { return Value(r); }},
    {"unit", [](const CapturedReading& r, std::string_view) { return CsvField(r.reading.unit); }},
    {kFlags[0].name, FlagCell<0>},
    {kFlags[1].name, FlagCell<1>},
    {kFlags[2].name, FlagCell<2>},
    {kFlags[3].name, FlagCell<3>},
    {kFlags[4].name, FlagCell<4>},
    {kFlags[5].name, FlagCell<5>},
    {"bars", [](const CapturedReading& r,
                std::string_view) { return std::to_string(r.reading.indicators.bars); }},
    {"capture",
     [](const CapturedReading& r, std::string_view) { return std::string(RuleName(r.rule)); }},
    {"frame", [](const CapturedReading& r, std::string_view) { return HexOf(r.bytes); }},
}};

const Column& ColumnOf(CsvColumn column) {
    return kColumns[static_cast<std::size_t>(column)];
}

std::string ColumnList() {
    std::string list;
    for (const Column& column : kColumns)
        list.append(list.empty() ? "" : ", ").append(column.name);
    return list;
}

}  // namespace

std::string UtcText(std::chrono::system_clock::time_point time) {
    const auto since = std::chrono::floor<milliseconds>(time);
    const auto day = std::chrono::floor<std::chrono::days>(since);
    const std::chrono::year_month_day date{day};
    const std::chrono::hh_mm_ss clock{since - day};
    char text[40];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

std::string PortName(int port) {
    return "COM" + std::to_string(port);
}

const CsvColumns& DefaultCsvColumns() {
    static const CsvColumns kDefault = {
        CsvColumn::kTime,   CsvColumn::kPort, CsvColumn::kDevice,   CsvColumn::kText,
        CsvColumn::kValue,  CsvColumn::kUnit, CsvColumn::kStable,   CsvColumn::kNet,
        CsvColumn::kZero,   CsvColumn::kHold, CsvColumn::kOverLoad, CsvColumn::kBatteryLow,
        CsvColumn::kCapture};
    return kDefault;
}

std::optional<CsvColumns> ParseCsvColumns(std::string_view names, std::string* error) {
    CsvColumns columns;
    for (std::size_t start = 0; start <= names.size();) {
        const std::size_t end = std::min(names.find(',', start), names.size());
        const std::string_view name = names.substr(start, end - start);
        const auto known = std::find_if(kColumns.begin(), kColumns.end(),
                                        [&](const Column& c) { return c.name == name; });
        if (known == kColumns.end()) {
            *error = "'" + std::string(name) + "' is no column; the columns are " + ColumnList();
            return std::nullopt;
        }
        const auto id = static_cast<CsvColumn>(known - kColumns.begin());
        if (std::find(columns.begin(), columns.end(), id) != columns.end()) {
            *error = "the column '" + std::string(name) + "' is named twice";
            return std::nullopt;
        }
        columns.push_back(id);
        start = end + 1;
    }
    return columns;
}

std::string CsvHeader(const CsvColumns& columns) {
    std::string header;
    for (const CsvColumn column : columns)
        header.append(header.empty() ? "" : ",").append(ColumnOf(column).name);
    return header + "\r\n";
}

std::string CsvRecord(const CapturedReading& r, const CsvColumns& columns,
                      std::string_view scaleId) {
    std::string record;
    for (std::size_t i = 0; i < columns.size(); ++i)
        record.append(i == 0 ? "" : ",").append(ColumnOf(columns[i]).cell(r, scaleId));
    return record + "\r\n";
}

std::string JsonObject(const CapturedReading& r, std::string_view scaleId) {
    JsonWriter json;
    json.String("time", UtcText(r.time));
    json.String("scale", scaleId);
    json.String("port", PortName(r.port));
    json.String("device", r.device);
    json.String("reading", scale::SpokenText(r.values));
    json.String("text", r.reading.text);
    const std::string value = Value(r);
    json.Raw("value", value.empty() ? "null" : value);
    json.StringOrNull("unit", r.reading.unit);
    for (const Flag& flag : kFlags)
        json.Bool(flag.name, r.reading.indicators.*flag.lit);
    json.Raw("bars", std::to_string(r.reading.indicators.bars));
    json.String("capture", RuleName(r.rule));
    json.String("frame", HexOf(r.bytes));
    return json.Close();
}

std::string TextLine(const CapturedReading& r) {
    const std::time_t seconds =
        std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(r.time));
    std::tm local{};
    localtime_r(&seconds, &local);
    char clock[32];
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, MillisecondsOf(r.time));
    std::string line = std::string(clock) + " " + PortName(r.port);
    for (const std::string& part : {r.reading.text, r.reading.unit}) {
        if (!part.empty())
            line += " " + part;
    }
    for (const Flag& flag : kFlags) {
        if (r.reading.indicators.*flag.lit)
            line.append(" ").append(flag.name);
    }
    return line;
}

}  // namespace record
