#include "platform/posix/Printable.h"

#include "platform/posix/Utf8.h"

namespace posix {

namespace {

// The length of the UTF-8 sequence that starts `text`, or 0 when it is not one, or is a
// control character of the C1 range (U+0080 to U+009F, which terminals obey too) or an
// invisible format character.
std::size_t PrintableSequence(std::string_view text) {
    char32_t code = 0;
    const std::size_t length = DecodeUtf8(text, &code);
    if (length == 0 || code < 0x20 || (code >= 0x7F && code <= 0x9F))
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
