#include "record/Forms.h"

#include <time.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

#include "record/Decimal.h"
#include "record/Escape.h"
#include "scale/families/Family.h"

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

}  // namespace

std::string HexOf(const CapturedReading& r) {
    std::string hex;
    if (!r.protocol.empty()) {
        for (const std::uint8_t byte : r.familyBytes)
            AppendHex(&hex, byte);
        return hex;
    }
    for (const std::uint8_t byte : r.bytes)
        AppendHex(&hex, byte);
    return hex;
}

namespace {

std::string SpokenOf(const CapturedReading& r) {
    if (!r.protocol.empty() && r.protocol != "karvel")
        return scale::families::SpokenText(r.reading);
    return scale::SpokenText(r.values);
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

// What a cell needs besides the reading.
struct Context {
    std::string_view scaleId;
    CsvDialect dialect;
};

using Cell = std::string (*)(const CapturedReading&, const Context&);

struct Column {
    std::string_view name;
    Cell cell;
};

template <std::size_t kFlag>
std::string FlagCell(const CapturedReading& r, const Context&) {
    return r.reading.indicators.*kFlags[kFlag].lit ? "1" : "0";
}

// A number's decimal point in the dialect's sign; anything else as CsvField writes it, quoted
// where a spreadsheet would take it for a number all the same.
std::string DecimalCell(std::string_view text, const Context& c) {
    if (!NumberText(text))
        return CsvField(text, c.dialect.Separator(), true);
    std::string cell(text);
    std::replace(cell.begin(), cell.end(), '.', c.dialect.decimal);
    return cell;
}

std::string Field(std::string_view text, const Context& c) {
    return CsvField(text, c.dialect.Separator());
}

std::string CheckCell(const CapturedReading& r, const Context&) {
    return r.check ? std::string(VerdictName(r.check->verdict)) : std::string();
}

std::string DeviationCell(const CapturedReading& r, const Context& c) {
    return r.check ? DecimalCell(r.check->deviation, c) : std::string();
}

std::string PiecesCell(const CapturedReading& r, const Context&) {
    return r.pieces ? r.pieces->pieces : std::string();
}

std::string UnitWeightCell(const CapturedReading& r, const Context& c) {
    return r.pieces ? DecimalCell(r.pieces->unitWeight, c) : std::string();
}

// In the order of CsvColumn.
constexpr std::array<Column, 20> kColumns = {{
    {"time_utc", [](const CapturedReading& r, const Context&) { return UtcText(r.time); }},
    {"scale", [](const CapturedReading&, const Context& c) { return Field(c.scaleId, c); }},
    {"port", [](const CapturedReading& r, const Context& c) { return Field(PortName(r), c); }},
    {"device", [](const CapturedReading& r, const Context& c) { return Field(r.device, c); }},
    {"text",
     [](const CapturedReading& r, const Context& c) { return DecimalCell(r.reading.text, c); }},
    {"value", [](const CapturedReading& r, const Context& c) { return DecimalCell(Value(r), c); }},
    {"unit", [](const CapturedReading& r, const Context& c) { return Field(r.reading.unit, c); }},
    {kFlags[0].name, FlagCell<0>},
    {kFlags[1].name, FlagCell<1>},
    {kFlags[2].name, FlagCell<2>},
    {kFlags[3].name, FlagCell<3>},
    {kFlags[4].name, FlagCell<4>},
    {kFlags[5].name, FlagCell<5>},
    {"bars", [](const CapturedReading& r,
                const Context&) { return std::to_string(r.reading.indicators.bars); }},
    {"capture",
     [](const CapturedReading& r, const Context&) { return std::string(RuleName(r.rule)); }},
    {"frame", [](const CapturedReading& r, const Context&) { return HexOf(r); }},
    {"check", CheckCell},
    {"deviation", DeviationCell},
    {"pieces", PiecesCell},
    {"unit_weight", UnitWeightCell},
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

SheetCell TextSheetCell(std::string_view text) {
    return SheetCell{SheetCell::Kind::kText, 0, 0, {}, ValidUtf8(text)};
}

SheetCell NumberSheetCell(double number, int decimals) {
    return SheetCell{SheetCell::Kind::kNumber, number, decimals, {}, {}};
}

// An exact decimal ("0.045") as a number with its places. Read with from_chars, which no locale
// changes: strtod under a decimal-comma locale stops at the point.
SheetCell DecimalSheetCell(std::string_view exact) {
    double number = 0;
    const auto [end, ec] = std::from_chars(exact.data(), exact.data() + exact.size(), number);
    if (ec != std::errc() || end != exact.data() + exact.size())
        return TextSheetCell(exact);
    return NumberSheetCell(number, PlacesOf(exact));
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

std::string PortName(const CapturedReading& r) {
    return r.portName.empty() ? PortName(r.port) : r.portName;
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

std::string_view ColumnName(CsvColumn column) {
    return ColumnOf(column).name;
}

std::optional<CsvDialect> ParseCsvDecimal(std::string_view sign) {
    if (sign == "." || sign == ",")
        return CsvDialect{sign[0]};
    return std::nullopt;
}

std::optional<CsvDialect> DialectOfHeader(std::string_view line) {
    // A header begins with a column's name; what follows the name separates the fields.
    const std::size_t end = line.find_first_not_of("abcdefghijklmnopqrstuvwxyz_");
    if (end == 0 || end == std::string_view::npos)
        return std::nullopt;
    if (line[end] == ',')
        return CsvDialect{'.'};
    if (line[end] == ';')
        return CsvDialect{','};
    return std::nullopt;
}

std::string CsvHeader(const CsvColumns& columns, CsvDialect dialect) {
    std::string header;
    for (const CsvColumn column : columns) {
        if (!header.empty())
            header += dialect.Separator();
        header.append(ColumnOf(column).name);
    }
    return header + "\r\n";
}

std::string CsvRecord(const CapturedReading& r, const CsvColumns& columns, std::string_view scaleId,
                      CsvDialect dialect) {
    const Context context{scaleId, dialect};
    std::string record;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i != 0)
            record += dialect.Separator();
        record.append(ColumnOf(columns[i]).cell(r, context));
    }
    return record + "\r\n";
}

SheetCell SheetCellOf(const CapturedReading& r, CsvColumn column, std::string_view scaleId) {
    switch (column) {
        case CsvColumn::kTime:
            return SheetCell{SheetCell::Kind::kTime, 0, 0, r.time, {}};
        case CsvColumn::kScale:
            return TextSheetCell(scaleId);
        case CsvColumn::kPort:
            return TextSheetCell(PortName(r));
        case CsvColumn::kDevice:
            return TextSheetCell(r.device);
        case CsvColumn::kText:
            return TextSheetCell(r.reading.text);
        case CsvColumn::kValue:
            return r.reading.number
                       ? NumberSheetCell(r.reading.number->value, PlacesOf(r.reading.number->exact))
                       : SheetCell{};
        case CsvColumn::kUnit:
            return r.reading.unit.empty() ? SheetCell{} : TextSheetCell(r.reading.unit);
        case CsvColumn::kBars:
            return NumberSheetCell(r.reading.indicators.bars, 0);
        case CsvColumn::kCapture:
            return TextSheetCell(RuleName(r.rule));
        case CsvColumn::kFrame:
            return TextSheetCell(HexOf(r));
        case CsvColumn::kCheck:
            return r.check ? TextSheetCell(VerdictName(r.check->verdict)) : SheetCell{};
        case CsvColumn::kDeviation:
            return r.check ? DecimalSheetCell(r.check->deviation) : SheetCell{};
        case CsvColumn::kPieces:
            return r.pieces ? DecimalSheetCell(r.pieces->pieces) : SheetCell{};
        case CsvColumn::kUnitWeight:
            return r.pieces ? DecimalSheetCell(r.pieces->unitWeight) : SheetCell{};
        case CsvColumn::kStable:
        case CsvColumn::kNet:
        case CsvColumn::kZero:
        case CsvColumn::kHold:
        case CsvColumn::kOverLoad:
        case CsvColumn::kBatteryLow:
            break;
    }
    // A flag, in their column order from stable on.
    const auto flag =
        static_cast<std::size_t>(column) - static_cast<std::size_t>(CsvColumn::kStable);
    return NumberSheetCell(r.reading.indicators.*kFlags[flag].lit ? 1 : 0, 0);
}

std::string JsonObject(const CapturedReading& r, std::string_view scaleId) {
    JsonWriter json;
    json.String("time", UtcText(r.time));
    json.String("scale", scaleId);
    json.String("port", PortName(r));
    json.String("device", r.device);
    json.String("reading", SpokenOf(r));
    json.String("text", r.reading.text);
    const std::string value = Value(r);
    json.Raw("value", value.empty() ? "null" : value);
    json.StringOrNull("unit", r.reading.unit);
    for (const Flag& flag : kFlags)
        json.Bool(flag.name, r.reading.indicators.*flag.lit);
    json.Raw("bars", std::to_string(r.reading.indicators.bars));
    json.String("capture", RuleName(r.rule));
    json.String("frame", HexOf(r));
    // The bench rules' fields, while they are on: after the reading's own.
    if (r.check) {
        json.String("check", VerdictName(r.check->verdict));
        json.Raw("deviation", r.check->deviation);
    }
    if (r.pieces) {
        json.Raw("pieces", r.pieces->pieces);
        json.Raw("unit_weight", r.pieces->unitWeight);
    }
    // Every line of a fast stream: lines a millisecond apart still tell apart and in order.
    if (r.rule == CaptureRule::kEvery)
        json.Raw("time_us", std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(
                                               r.time.time_since_epoch())
                                               .count()));
    // New fields go above: the family's name stays the last one.
    if (!r.protocol.empty())
        json.String("protocol", r.protocol);
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
    std::string line = std::string(clock) + " " + ControlsEscaped(ValidUtf8(PortName(r)));
    for (const std::string& part : {r.reading.text, r.reading.unit}) {
        if (!part.empty())
            line += " " + ControlsEscaped(ValidUtf8(part));
    }
    for (const Flag& flag : kFlags) {
        if (r.reading.indicators.*flag.lit)
            line.append(" ").append(flag.name);
    }
    if (r.check)
        line.append(" ")
            .append(VerdictName(r.check->verdict))
            .append(" ")
            .append(r.check->deviation);
    if (r.pieces)
        line.append(" ").append(r.pieces->pieces).append(" pcs");
    return line;
}

}  // namespace record
