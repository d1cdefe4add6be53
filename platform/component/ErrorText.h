#pragma once

// The reason for the last failure of the component layer on the calling thread. Each copy of
// the layer (the program's, a library's) keeps its own.

#include <string>

namespace component {

void SetErrorText(std::string text);
const std::string& ErrorText();

// The text of `errno` value `error`.
std::string SystemErrorText(int error);

}  // namespace component
