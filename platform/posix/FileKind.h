#pragma once

#include <sys/types.h>

namespace posix {

// What kind of file `mode` describes, for a message that refuses it: "a folder", "a FIFO",
// "a socket", "a device", "a symbolic link", else "not a regular file".
const char* KindOf(mode_t mode);

}  // namespace posix
