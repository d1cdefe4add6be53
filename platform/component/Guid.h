#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace component {

// A 128-bit identifier of a class, interface or type library.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    auto operator<=>(const Guid&) const = default;

    // Parses exactly "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits of either case).
    static std::optional<Guid> Parse(std::string_view text);
    // Upper-case "{8-4-4-4-12}" form.
    std::string ToString() const;
};

// Compile-time form for constants; `text` must be well formed.
consteval Guid MakeGuid(const char (&text)[39]) {
    auto hex = [&](int pos, int count) {
        std::uint64_t v = 0;
        for (int i = 0; i < count; ++i) {
            char c = text[pos + i];
            int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : throw "bad hex digit";
            v = v * 16 + static_cast<std::uint64_t>(d);
        }
        return v;
    };
    Guid g;
    g.data1 = static_cast<std::uint32_t>(hex(1, 8));
    g.data2 = static_cast<std::uint16_t>(hex(10, 4));
    g.data3 = static_cast<std::uint16_t>(hex(15, 4));
    g.data4[0] = static_cast<std::uint8_t>(hex(20, 2));
    g.data4[1] = static_cast<std::uint8_t>(hex(22, 2));
    for (int i = 0; i < 6; ++i) {
        g.data4[2 + i] = static_cast<std::uint8_t>(hex(25 + 2 * i, 2));
    }
    return g;
}

}  // namespace component
