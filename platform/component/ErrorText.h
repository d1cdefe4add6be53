#pragma once

// The reason for the last failure of the component layer on the calling thread. Each copy of
// the layer (the program's, a library's) keeps its own.

#include <string>
#include <string_view>

#include "platform/posix/Printable.h"

namespace component {

void SetErrorText(std::string text);
const std::string& ErrorText();

// The component layer's messages quote names through it (platform/posix/Printable.h).
using posix::Printable;

}  // namespace component
