#include "platform/posix/Printable.h"

namespace posix {

namespace {

// The length of the UTF-8 sequence that starts `text`, or 0 when it is not one, or is a
// control character of the C1 range (U+0080 to U+009F, which terminals obey too) or an
// invisible format character.
std::size_t PrintableSequence(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return lead >= 0x20 && lead != 0x7F ? 1 : 0;
    std::size_t length = 0;
    char32_t code = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ||
        code <= 0x9F)
        return 0;
    // Invisible marks and direction overrides would hide or reorder what a message shows.
    if (code == 0xFEFF || (code >= 0x200B && code <= 0x200F) ||
        (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069))
        return 0;
    return length;
}

}  // namespace

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        if (const std::size_t n = PrintableSequence(text); n > 0) {
            out.append(text.substr(0, n));
            text.remove_prefix(n);
            continue;
        }
        static constexpr char kHex[] = "0123456789abcdef";
        const auto c = static_cast<unsigned char>(text.front());
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
        text.remove_prefix(1);
    }
    return out;
}

}  // namespace posix
