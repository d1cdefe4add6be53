#pragma once

// The reason for the last failure of the component layer on the calling thread. Each copy of
// the layer (the program's, a library's) keeps its own.

#include <string>
#include <string_view>

namespace component {

void SetErrorText(std::string text);
const std::string& ErrorText();

// The text of `errno` value `error`.
std::string SystemErrorText(int error);

// `text` (which may come from a file anyone could have written) safe to show on a terminal:
// control characters and bytes that are not UTF-8 become \xNN.
std::string Printable(std::string_view text);

}  // namespace component
