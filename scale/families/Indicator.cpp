// The common indicator string of Dini Argeo and many others: "ST,GS,+0012.34kg", "US,NT,...",
// "OL,..."; a comma may stand between value and unit.

#include "scale/families/Lines.h"

namespace scale::families {

std::optional<Reading> IndicatorLine(std::string_view line) {
    line = Trim(line);
    if (line.size() < 7 || line[2] != ',' || line[5] != ',')
        return std::nullopt;
    std::string data(line.substr(6));
    if (const std::size_t comma = data.find(','); comma != std::string::npos)
        data[comma] = ' ';
    return HeadedReading(line.substr(0, 2), line.substr(3, 2), data);
}

Family IndicatorFamily() {
    return {"indicator",
            "the common indicator string (Dini Argeo and others)",
            {{9600, 'N', 8, 1}, {2400, 'N', 8, 1}},
            {{Key::kTare, "TARE\r\n"}, {Key::kZero, "ZERO\r\n"}, {Key::kPrint, "PRNT\r\n"}},
            "READ\r\n"};
}

}  // namespace scale::families
