#pragma once

// Key names as a user or a remote sender writes them: DATA, MODE, TARE or ON/OFF, optionally
// followed by "double" for the double-click byte.

#include <cstdint>
#include <optional>
#include <string_view>

namespace scale {

// The key byte for `line` (surrounding blanks and a trailing CR ignored); nullopt for anything
// else.
std::optional<std::uint8_t> KeyByte(std::string_view line);

}  // namespace scale
