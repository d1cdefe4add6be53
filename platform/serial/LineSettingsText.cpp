#include "platform/serial/LineSettingsText.h"

#include <cctype>
#include <optional>

namespace serial_port {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// Decimal digits only; nine at most, so the value always fits.
std::optional<unsigned> ParseNumber(std::string_view s) {
    if (s.empty() || s.size() > 9)
        return std::nullopt;
    unsigned value = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

std::optional<Parity> ParseParity(std::string_view s) {
    if (s.size() != 1)
        return std::nullopt;
    switch (std::toupper(static_cast<unsigned char>(s[0]))) {
        case 'N':
            return Parity::kNone;
        case 'E':
            return Parity::kEven;
        case 'O':
            return Parity::kOdd;
        case 'M':
            return Parity::kMark;
        case 'S':
            return Parity::kSpace;
        default:
            return std::nullopt;
    }
}

std::optional<StopBits> ParseStopBits(std::string_view s) {
    if (s == "1")
        return StopBits::kOne;
    if (s == "1.5")
        return StopBits::kOneAndHalf;
    if (s == "2")
        return StopBits::kTwo;
    return std::nullopt;
}

}  // namespace

bool ApplyLineSettingsText(std::string_view text, LineState& state) {
    LineState next = state;
    bool seenBaud = false, seenParity = false, seenData = false, seenStop = false;
    std::size_t pos = 0;
    int keys = 0;
    while (pos < text.size()) {
        if (IsBlank(text[pos])) {
            ++pos;
            continue;
        }
        std::size_t end = pos;
        while (end < text.size() && !IsBlank(text[end]))
            ++end;
        const std::string_view token = text.substr(pos, end - pos);
        pos = end;

        const std::size_t eq = token.find('=');
        if (eq == std::string_view::npos)
            return false;
        const std::string_view key = token.substr(0, eq);
        const std::string_view value = token.substr(eq + 1);
        ++keys;
        if (EqualsIgnoringCase(key, "baud")) {
            const auto baud = ParseNumber(value);
            // Any positive rate; a device that cannot run at it refuses it when it is applied.
            if (seenBaud || !baud || *baud == 0)
                return false;
            next.baud = *baud;
            seenBaud = true;
        } else if (EqualsIgnoringCase(key, "parity")) {
            const auto parity = ParseParity(value);
            if (seenParity || !parity)
                return false;
            next.parity = *parity;
            seenParity = true;
        } else if (EqualsIgnoringCase(key, "data")) {
            const auto bits = ParseNumber(value);
            if (seenData || !bits || *bits < 5 || *bits > 8)
                return false;
            next.dataBits = static_cast<int>(*bits);
            seenData = true;
        } else if (EqualsIgnoringCase(key, "stop")) {
            const auto stop = ParseStopBits(value);
            if (seenStop || !stop)
                return false;
            next.stopBits = *stop;
            seenStop = true;
        } else {
            return false;
        }
    }
    if (keys == 0)
        return false;
    // A UART sends 1.5 stop bits only with 5 data bits, and never 2 with 5.
    if (next.stopBits == StopBits::kOneAndHalf && next.dataBits != 5)
        return false;
    if (next.stopBits == StopBits::kTwo && next.dataBits == 5)
        return false;
    state = next;
    return true;
}

}  // namespace serial_port
