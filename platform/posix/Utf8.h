#pragma once

#include <cstddef>
#include <string_view>

namespace posix {

// The length (1 to 4) of the well-formed UTF-8 sequence that starts `text`, its code point in
// `code`; 0 when there is none: empty text, a stray or missing continuation byte, an overlong
// form, a surrogate or a code beyond U+10FFFF. Any thread.
std::size_t DecodeUtf8(std::string_view text, char32_t* code);

}  // namespace posix
