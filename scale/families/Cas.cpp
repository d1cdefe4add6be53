// CAS indicators, the 22-byte form: "ST,GS,", an identifier and a lamp byte, ",", eight
// characters of weight, the unit, CR LF. ST stable, US unstable, OL over load; GS gross, NT net.

#include "scale/families/Lines.h"

namespace scale::families {

std::optional<Reading> CasLine(std::string_view line) {
    // ST,GS,il,wwwwwwww uu
    if (line.size() < 18 || line[2] != ',' || line[5] != ',' || line[8] != ',')
        return std::nullopt;
    return HeadedReading(line.substr(0, 2), line.substr(3, 2), line.substr(9));
}

Family CasFamily() {
    return {"cas", "CAS indicators (22-byte form)", {{9600, 'N', 8, 1}, {2400, 'N', 8, 1}}, {}, ""};
}

}  // namespace scale::families
