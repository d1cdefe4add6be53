#pragma once

// The one place where errno becomes text, and the shape every layer's error value takes: the
// errno value, the system's text for it, and more about the case. A layer adds what its callers
// act on (serial's ErrorKind) and keeps this shape.

#include <string>

namespace posix {

// "No such file or directory" for ENOENT; "Unknown error N" for a number the system has no
// words for. Any thread (never the shared buffer of strerror).
std::string ErrnoText(int error);

struct SystemError {
    int code = 0;        // errno value, 0 when none
    std::string text;    // ErrnoText(code); what failed, in words, when there is no errno value
    std::string detail;  // more about this case (e.g. the group that may open the device)

    static SystemError FromErrno(int code, std::string detail = {});
    // A failure without an errno value (a peer that sent nothing, a library's own code).
    static SystemError Because(std::string text, std::string detail = {});

    // The text, followed by the detail in parentheses when there is one.
    std::string Describe() const;
};

}  // namespace posix
