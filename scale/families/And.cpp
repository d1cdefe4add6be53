// A&D balances: "ST,+00012.34  g" with the headers ST (stable), US (unstable), QT (count) and
// OL (over load, "OL,+9999999E+19"; a minus there is under load), the indicator form with a
// second header ("ST,NT,+0012.34kg"), and "EC,Exx" error codes.

#include "scale/families/Lines.h"

namespace scale::families {

std::optional<Reading> AndLine(std::string_view line) {
    line = Trim(line);
    if (line.size() < 4 || line[2] != ',')
        return std::nullopt;
    const std::string_view header = line.substr(0, 2);
    std::string_view rest = line.substr(3);
    if (header == "EC")
        return rest.size() == 3 && rest[0] == 'E' ? std::optional(ErrorReading(line))
                                                  : std::nullopt;
    bool net = false;
    bool gross = false;
    if (rest.size() > 3 && rest[2] == ',') {
        net = rest.starts_with("NT");
        gross = rest.starts_with("GS");
        if (!net && !gross)
            return std::nullopt;
        rest.remove_prefix(3);
    }
    std::optional<Reading> reading;
    if (header == "OL") {
        if (!rest.starts_with('+') && !rest.starts_with('-'))
            return std::nullopt;
        reading = LoadReading(rest.starts_with('+'));
    } else if (header == "ST" || header == "US" || header == "QT") {
        auto weight = SplitValueUnit(rest);
        if (!weight)
            return std::nullopt;
        reading = WeightReading(std::move(weight->text), std::move(weight->unit), header != "US");
    } else
        return std::nullopt;
    reading->indicators.net = net;
    reading->indicators.gross = gross;
    return reading;
}

Family AndFamily() {
    return {"and",
            "A&D balances and indicators",
            {{2400, 'E', 7, 1}, {9600, 'N', 8, 1}},
            {{Key::kTare, "T\r\n"}, {Key::kZero, "Z\r\n"}, {Key::kPrint, "S\r\n"}},
            "Q\r\n"};
}

}  // namespace scale::families
