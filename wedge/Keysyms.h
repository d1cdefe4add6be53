#pragma once

// The X keysym of a stroke, as the X server and the remote-desktop portal take it. No X headers.

#include <cstdint>

#include "wedge/KeySequence.h"

namespace wedge {

inline constexpr std::uint32_t kKeysymTab = 0xFF09;
inline constexpr std::uint32_t kKeysymReturn = 0xFF0D;

// Latin-1 characters are their own keysyms; any other character is 0x01000000 plus its code.
inline std::uint32_t KeysymOf(const Stroke& stroke) {
    switch (stroke.kind) {
        case Stroke::Kind::kTab:
            return kKeysymTab;
        case Stroke::Kind::kEnter:
            return kKeysymReturn;
        case Stroke::Kind::kChar:
            break;
    }
    const auto c = static_cast<std::uint32_t>(stroke.ch);
    return (c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF) ? c : 0x01000000u | c;
}

}  // namespace wedge
