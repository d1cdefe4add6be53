#include "record/Forms.h"

#include <time.h>

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

std::string CsvHeader() {
    std::string header = "time_utc,port,device,reading,value,unit";
    for (const Flag& flag : kFlags)
        header.append(",").append(flag.name);
    return header + ",capture\r\n";
}

std::string CsvRecord(const CapturedReading& r) {
    std::string record = UtcText(r.time) + "," + PortName(r.port) + "," + CsvField(r.device) + "," +
                         CsvField(r.reading.text) + "," + Value(r) + "," + CsvField(r.reading.unit);
    for (const Flag& flag : kFlags)
        record += r.reading.indicators.*flag.lit ? ",1" : ",0";
    return record.append(",").append(RuleName(r.rule)).append("\r\n");
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
