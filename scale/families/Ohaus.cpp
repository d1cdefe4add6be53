// Ohaus balances: the value right-justified, its unit, "?" while unstable, then the legend G
// (gross), NET or N (net) or T (tare); "ES" for a command not understood.

#include "scale/families/Lines.h"

namespace scale::families {

namespace {

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    while (!(line = Trim(line)).empty()) {
        const std::size_t end = line.find(' ');
        words.push_back(line.substr(0, end));
        line = end == std::string_view::npos ? std::string_view() : line.substr(end);
    }
    return words;
}

}  // namespace

std::optional<Reading> OhausLine(std::string_view line) {
    if (Trim(line) == "ES")
        return ErrorReading("ES");
    std::vector<std::string_view> words = Words(line);
    // A sign standing apart from its figures.
    std::string value;
    std::size_t next = 0;
    if (words.size() > 1 && (words[0] == "-" || words[0] == "+"))
        value = words[next++];
    if (next + 2 > words.size())
        return std::nullopt;
    value += words[next++];
    auto weight = SplitValueUnit(value + " " + std::string(words[next++]));
    if (!weight || weight->unit.empty())
        return std::nullopt;
    bool stable = true;
    if (next < words.size() && words[next] == "?") {
        stable = false;
        ++next;
    }
    const std::string_view legend = next < words.size() ? words[next++] : "";
    if (next != words.size() ||
        !(legend.empty() || legend == "G" || legend == "N" || legend == "NET" || legend == "T"))
        return std::nullopt;
    Reading reading = WeightReading(std::move(weight->text), std::move(weight->unit), stable);
    reading.indicators.gross = legend == "G";
    reading.indicators.net = legend == "N" || legend == "NET";
    reading.indicators.tare = legend == "T";
    return reading;
}

Family OhausFamily() {
    return {"ohaus",
            "Ohaus balances",
            {{9600, 'N', 8, 1}, {2400, 'N', 8, 1}},
            {{Key::kTare, "T\r\n"}, {Key::kZero, "Z\r\n"}, {Key::kPrint, "P\r\n"}},
            "IP\r\n"};
}

}  // namespace scale::families
