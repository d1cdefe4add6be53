// The SMA serial scale protocol (Scale Manufacturers Association), level 1: asked with
// LF W CR, the scale answers LF, five status characters, the weight in ten characters and the
// unit in three, CR:
//  s: Z centre of zero, O over capacity, U under capacity, E zero error, T tare error,
//     I initial zero error, e no weight shown, blank none of these;
//  r: the range ('1', '2', ...), n: G gross, N net, T tare (g, n: at ten times the resolution),
//  m: M in motion, blank stable; f: reserved.
// After an error the weight field is all dashes. LF ? CR answers a command it does not know.

#include <array>
#include <utility>

#include "scale/families/Lines.h"

namespace scale::families {

namespace {

constexpr std::size_t kStatus = 5;

std::optional<Reading> SmaError(char status) {
    constexpr std::array<std::pair<char, std::string_view>, 4> kErrors = {{
        {'E', "zero error"},
        {'T', "tare error"},
        {'I', "initial zero error"},
        {'e', "no weight shown"},
    }};
    for (const auto& [letter, text] : kErrors) {
        if (letter == status)
            return ErrorReading(text);
    }
    return std::nullopt;
}

bool StatusFits(std::string_view line) {
    const char range = line[1];
    return std::string_view(" ZOUETIe").find(line[0]) != std::string_view::npos &&
           (range == ' ' || (range >= '0' && range <= '9')) &&
           std::string_view("GNTgn").find(line[2]) != std::string_view::npos &&
           (line[3] == ' ' || line[3] == 'M');
}

}  // namespace

std::optional<Reading> SmaLine(std::string_view line) {
    if (line.size() <= kStatus || !StatusFits(line))
        return std::nullopt;
    const char status = line[0];
    const std::string_view rest = Trim(line.substr(kStatus));
    if (auto error = SmaError(status))
        return error;
    if (status == 'O' || status == 'U')
        return LoadReading(status == 'O');
    auto weight = SplitValueUnit(rest);
    if (!weight)
        return rest.starts_with("--") ? std::optional(ErrorReading("no stable weight"))
                                      : std::nullopt;
    const char kind = line[2];
    Reading reading =
        WeightReading(std::move(weight->text), std::move(weight->unit), line[3] != 'M');
    reading.indicators.zero = status == 'Z';
    reading.indicators.net = kind == 'N' || kind == 'n';
    reading.indicators.gross = kind == 'G' || kind == 'g';
    reading.indicators.tare = kind == 'T';
    return reading;
}

Family SmaFamily() {
    return {"sma",
            "the SMA serial scale protocol, level 1 (W, Z, T)",
            {{9600, 'N', 8, 1}, {9600, 'E', 7, 1}},
            {{Key::kTare, "\nT\r"}, {Key::kZero, "\nZ\r"}},
            "\nW\r"};
}

}  // namespace scale::families
