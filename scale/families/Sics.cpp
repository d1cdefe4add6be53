// Mettler Toledo MT-SICS: "S S     100.00 g" (stable), "S D ..." (dynamic), "S I" (busy),
// "S +" / "S -" (over / under load), and the error replies ES, ET, EL.

#include "scale/families/Lines.h"

namespace scale::families {

std::optional<Reading> SicsLine(std::string_view line) {
    line = Trim(line);
    if (line == "ES" || line == "ET" || line == "EL")
        return ErrorReading(line);
    if (line.size() < 3 || line[0] != 'S' || line[1] != ' ')
        return std::nullopt;
    const char status = line[2];
    const std::string_view rest = line.substr(3);
    if (status == '+' || status == '-')
        return Trim(rest).empty() ? std::optional(LoadReading(status == '+')) : std::nullopt;
    if (status == 'I' || status == 'L')
        return Trim(rest).empty() ? std::optional(ErrorReading(line)) : std::nullopt;
    if ((status != 'S' && status != 'D') || !rest.starts_with(' '))
        return std::nullopt;
    auto weight = SplitValueUnit(rest);
    if (!weight || weight->unit.empty())
        return std::nullopt;
    return WeightReading(std::move(weight->text), std::move(weight->unit), status == 'S');
}

Family SicsFamily() {
    return {"sics",
            "Mettler Toledo MT-SICS balances",
            {{9600, 'N', 8, 1}, {2400, 'E', 7, 1}},
            {{Key::kTare, "T\r\n"}, {Key::kZero, "Z\r\n"}, {Key::kPrint, "S\r\n"}},
            "SI\r\n"};
}

}  // namespace scale::families
