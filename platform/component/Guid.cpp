#include "platform/component/Guid.h"

#include <cstdio>

namespace component {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<Guid> Guid::Parse(std::string_view text) {
    static constexpr std::string_view kShape = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (text.size() != kShape.size())
        return std::nullopt;
    std::array<std::uint8_t, 16> bytes{};
    std::size_t nibble = 0;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        if (kShape[i] != 'X') {
            if (text[i] != kShape[i])
                return std::nullopt;
            continue;
        }
        const int v = HexValue(text[i]);
        if (v < 0)
            return std::nullopt;
        bytes[nibble / 2] = static_cast<std::uint8_t>(bytes[nibble / 2] << 4 | v);
        ++nibble;
    }
    Guid g;
    g.data1 = std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
              std::uint32_t{bytes[2]} << 8 | bytes[3];
    g.data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
    g.data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
    for (int i = 0; i < 8; ++i)
        g.data4[i] = bytes[8 + i];
    return g;
}

std::string Guid::ToString() const {
    char buf[39];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1,
                  data2, data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5],
                  data4[6], data4[7]);
    return buf;
}

}  // namespace component
