#include "scale/KeyNames.h"

#include <array>
#include <utility>

#include "scale/Protocol.h"

namespace scale {
namespace {

std::string_view Trim(std::string_view text) {
    const std::string_view blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

std::optional<std::uint8_t> KeyByte(std::string_view line) {
    static constexpr std::array<std::pair<std::string_view, std::uint8_t>, 4> kKeys{{
        {"DATA", kKeyData},
        {"MODE", kKeyMode},
        {"TARE", kKeyTare},
        {"ON/OFF", kKeyOnOff},
    }};
    std::string_view text = Trim(line);
    bool twice = false;
    const std::size_t space = text.find_first_of(" \t");
    if (space != std::string_view::npos) {
        if (Trim(text.substr(space)) != "double")
            return std::nullopt;
        twice = true;
        text = text.substr(0, space);
    }
    for (const auto& [name, byte] : kKeys) {
        if (text == name)
            return static_cast<std::uint8_t>(twice ? (byte | kDoubleClick) : byte);
    }
    return std::nullopt;
}

}  // namespace scale
