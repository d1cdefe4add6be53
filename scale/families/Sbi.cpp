// Sartorius SBI: 16 characters (sign, blank, 8-character value, blank, 3-character unit, CR LF;
// the unit blank while unstable), or 22 with a 6-character identifier in front ("N", "G#", "T",
// "Qnt"); "Stat" lines say over load (H), under load (L) or another state.

#include "scale/families/Lines.h"

namespace scale::families {

namespace {

constexpr std::size_t kShort = 14;  // without CR LF
constexpr std::size_t kIdWidth = 6;

std::optional<Reading> StatLine(std::string_view rest) {
    rest = Trim(rest);
    if (rest == "H" || rest == "L")
        return LoadReading(rest == "H");
    return ErrorReading("Stat " + std::string(rest));
}

}  // namespace

std::optional<Reading> SbiLine(std::string_view line) {
    if (Trim(line).starts_with("Stat"))
        return StatLine(Trim(line).substr(4));
    std::string_view id;
    if (line.size() == kShort + kIdWidth) {
        id = Trim(line.substr(0, kIdWidth));
        line.remove_prefix(kIdWidth);
    } else if (line.size() != kShort)
        return std::nullopt;
    const char sign = line[0];
    if ((sign != '+' && sign != '-' && sign != ' ') || line[1] != ' ' || line[10] != ' ')
        return std::nullopt;
    const std::string_view value = Trim(line.substr(2, 8));
    const std::string_view unit = Trim(line.substr(11, 3));
    if (unit.empty() && (value == "H" || value == "L"))
        return LoadReading(value == "H");
    auto weight =
        SplitValueUnit(std::string(1, sign) + std::string(value) + " " + std::string(unit));
    if (!weight || value.find(' ') != std::string_view::npos)
        return std::nullopt;
    const bool count = id == "Qnt";
    if (!id.empty() && id != "N" && id != "G#" && id != "G" && id != "T" && !count)
        return std::nullopt;
    Reading reading =
        WeightReading(std::move(weight->text),
                      count && !unit.empty() ? "pcs" : std::move(weight->unit), !unit.empty());
    reading.indicators.net = id == "N";
    reading.indicators.gross = id.starts_with('G');
    reading.indicators.tare = id == "T";
    return reading;
}

Family SbiFamily() {
    return {"sbi",
            "Sartorius SBI balances",
            {{1200, 'O', 7, 1}, {9600, 'N', 8, 1}},
            {{Key::kTare, "\x1bT"}, {Key::kPrint, "\x1bP"}},
            "\x1bP"};
}

}  // namespace scale::families
