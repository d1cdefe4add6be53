// CAS indicators, the 22-byte form: "ST,GS,", an identifier and a lamp byte, ",", eight
// characters of weight, the unit, CR LF. ST stable, US unstable, OL over load; GS gross, NT net.

#include "scale/families/Lines.h"

namespace scale::families {

std::optional<Reading> CasLine(std::string_view line) {
    // ST,GS,il,wwwwwwww uu
    if (line.size() < 18 || line[2] != ',' || line[5] != ',' || line[8] != ',')
        return std::nullopt;
    const std::string_view state = line.substr(0, 2);
    const std::string_view kind = line.substr(3, 2);
    if ((kind != "GS" && kind != "NT") || (state != "ST" && state != "US" && state != "OL"))
        return std::nullopt;
    const std::string_view data = line.substr(9);
    std::optional<Reading> reading;
    if (state == "OL") {
        reading = LoadReading(!Trim(data).starts_with('-'));
    } else {
        auto weight = SplitValueUnit(data);
        if (!weight || data.size() < 8)
            return std::nullopt;
        reading = WeightReading(std::move(weight->text), std::move(weight->unit), state == "ST");
    }
    reading->indicators.net = kind == "NT";
    reading->indicators.gross = kind == "GS";
    return reading;
}

Family CasFamily() {
    return {"cas", "CAS indicators (22-byte form)", {{9600, 'N', 8, 1}, {2400, 'N', 8, 1}}, {}, ""};
}

}  // namespace scale::families
