#pragma once

#include <string>
#include <string_view>

namespace posix {

// `text` (which may come from a file anyone could have written) safe to show on a terminal:
// control characters and bytes that are not UTF-8 become \xNN. Any thread.
std::string Printable(std::string_view text);

}  // namespace posix
