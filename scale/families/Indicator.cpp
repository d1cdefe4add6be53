// The common indicator string of Dini Argeo and many others: "ST,GS,+0012.34kg", "US,NT,...",
// "OL,..."; a comma may stand between value and unit.

#include "scale/families/Lines.h"

namespace scale::families {

std::optional<Reading> IndicatorLine(std::string_view line) {
    line = Trim(line);
    if (line.size() < 7 || line[2] != ',' || line[5] != ',')
        return std::nullopt;
    const std::string_view state = line.substr(0, 2);
    const std::string_view kind = line.substr(3, 2);
    if ((kind != "GS" && kind != "NT") || (state != "ST" && state != "US" && state != "OL"))
        return std::nullopt;
    std::string data(line.substr(6));
    if (const std::size_t comma = data.find(','); comma != std::string::npos)
        data[comma] = ' ';
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

Family IndicatorFamily() {
    return {"indicator",
            "the common indicator string (Dini Argeo and others)",
            {{9600, 'N', 8, 1}, {2400, 'N', 8, 1}},
            {{Key::kTare, "TARE\r\n"}, {Key::kZero, "ZERO\r\n"}, {Key::kPrint, "PRNT\r\n"}},
            "READ\r\n"};
}

}  // namespace scale::families
