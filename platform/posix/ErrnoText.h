#pragma once

// The system's words for an errno value: the one place where errno becomes text, for every
// layer's error value (serial's PortError, the component layer's reasons, the log file's and the
// MQTT client's messages).

#include <string>

namespace posix {

// "No such file or directory" for ENOENT; "Unknown error N" for a number the system has no
// words for. Any thread (never the shared buffer of strerror).
std::string ErrnoText(int error);

}  // namespace posix
