#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>

#include "scale/families/Lines.h"

namespace scale::families {

namespace {

constexpr std::array<std::pair<Key, std::string_view>, 6> kKeyNames = {{
    {Key::kTare, "TARE"},
    {Key::kZero, "ZERO"},
    {Key::kPrint, "PRINT"},
    {Key::kData, "DATA"},
    {Key::kMode, "MODE"},
    {Key::kOnOff, "ON/OFF"},
}};

// 1200 to 115200, the rates the terminal driver has.
constexpr std::array<int, 8> kBauds = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

const std::vector<Family>& Table() {
    static const std::vector<Family> table = {
        KarvelFamily(), SicsFamily(),       AndFamily(),     SbiFamily(),
        OhausFamily(),  ToledoFamily(),     CasFamily(),     IndicatorFamily(),
        SmaFamily(),    Toledo8217Family(), PatternFamily(),
    };
    return table;
}

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string_view KeyName(Key key) {
    for (const auto& [known, name] : kKeyNames) {
        if (known == key)
            return name;
    }
    return {};
}

std::optional<Key> KeyOfName(std::string_view name) {
    for (const auto& [key, known] : kKeyNames) {
        if (SameLetters(known, name))
            return key;
    }
    return std::nullopt;
}

std::optional<Key> KeyOfLine(std::string_view line) {
    const std::string_view blanks = " \t\r\n";
    const std::size_t first = line.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return std::nullopt;
    return KeyOfName(line.substr(first, line.find_last_not_of(blanks) - first + 1));
}

std::string KeyNames() {
    std::string names;
    for (std::size_t i = 0; i < kKeyNames.size(); ++i)
        names += std::string(i == 0                      ? ""
                             : i + 1 == kKeyNames.size() ? " or "
                                                         : ", ") +
                 std::string(kKeyNames[i].second);
    return names;
}

std::optional<Key> KeyOfPanelByte(std::uint8_t byte) {
    switch (byte & ~kDoubleClick) {
        case kKeyData:
            return Key::kData;
        case kKeyMode:
            return Key::kMode;
        case kKeyTare:
            return Key::kTare;
        case kKeyOnOff:
            return Key::kOnOff;
        default:
            return std::nullopt;
    }
}

std::span<const Family> All() {
    return Table();
}

const Family* Find(std::string_view name) {
    for (const Family& family : Table()) {
        if (family.name == name)
            return &family;
    }
    return nullptr;
}

std::string Names() {
    std::string names;
    for (const Family& family : Table())
        names += (names.empty() ? "" : ", ") + std::string(family.name);
    return names;
}

std::optional<std::string> CommandFor(const Family& family, Key key) {
    for (const KeyCommand& command : family.keys) {
        if (command.key == key)
            return command.bytes;
    }
    return std::nullopt;
}

std::unique_ptr<Decoder> MakeDecoder(const Family& family, const LineSettings& line,
                                     std::string_view pattern, std::string* error,
                                     std::span<const Decoded> before) {
    const std::string_view name = family.name;
    const bool sevenBit = line.dataBits == 7;
    if (name == "karvel")
        return MakeKarvelDecoder();
    if (name == "toledo")
        return MakeToledoDecoder(sevenBit, before);
    if (name == "pattern")
        return MakePatternDecoder(pattern, sevenBit, error);
    constexpr std::array<std::pair<std::string_view, LineRule>, 8> kRules = {{
        {"sics", SicsLine},
        {"and", AndLine},
        {"sbi", SbiLine},
        {"ohaus", OhausLine},
        {"cas", CasLine},
        {"indicator", IndicatorLine},
        {"sma", SmaLine},
        {"8217", Toledo8217Line},
    }};
    for (const auto& [known, rule] : kRules) {
        if (known == name)
            return std::make_unique<LineDecoder>(rule, sevenBit);
    }
    *error = "no decoder for " + std::string(name);
    return nullptr;
}

LineSettings FramingAt(const Family& family, const LineSettings& line) {
    for (const LineSettings& usual : family.lines) {
        if (usual.baud == line.baud)
            return usual;
    }
    return line;
}

std::string SpokenText(const Reading& reading) {
    std::string text = reading.text;
    if (!reading.unit.empty() && reading.number)
        text += " " + reading.unit;
    const Indicators& lit = reading.indicators;
    const std::array<std::pair<bool, std::string_view>, 8> flags = {{
        {lit.stable, "stable"},
        {lit.net, "net"},
        {lit.gross, "gross"},
        {lit.tare, "tare"},
        {lit.zero, "zero"},
        {lit.overLoad, "over load"},
        {reading.underLoad, "under load"},
        {!reading.error.empty(), "error"},
    }};
    for (const auto& [on, name] : flags) {
        if (on)
            text += (text.empty() ? "" : ", ") + std::string(name);
    }
    return text;
}

std::string LineText(const LineSettings& line) {
    return std::to_string(line.baud) + " " + std::to_string(line.dataBits) + line.parity +
           std::to_string(line.stopBits);
}

std::optional<LineSettings> ParseLine(std::string_view text) {
    const std::size_t comma = text.find(',');
    const std::string_view baudText = text.substr(0, comma);
    int baud = 0;
    const auto [end, ec] =
        std::from_chars(baudText.data(), baudText.data() + baudText.size(), baud);
    if (ec != std::errc() || end != baudText.data() + baudText.size() ||
        std::find(kBauds.begin(), kBauds.end(), baud) == kBauds.end())
        return std::nullopt;
    LineSettings line{baud, 'N', 8, 1};
    if (comma == std::string_view::npos)
        return line;
    const std::string_view framing = text.substr(comma + 1);
    if (framing.size() != 3 || (framing[0] != '7' && framing[0] != '8') ||
        (framing[2] != '1' && framing[2] != '2'))
        return std::nullopt;
    const char parity = static_cast<char>(std::toupper(static_cast<unsigned char>(framing[1])));
    if (parity != 'N' && parity != 'E' && parity != 'O')
        return std::nullopt;
    line.dataBits = framing[0] - '0';
    line.parity = parity;
    line.stopBits = framing[2] - '0';
    return line;
}

}  // namespace scale::families
