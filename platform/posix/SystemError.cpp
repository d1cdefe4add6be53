#include "platform/posix/SystemError.h"

#include <string.h>

namespace posix {

namespace {

// GNU strerror_r returns the text, which may be a static string instead of the buffer.
[[maybe_unused]] std::string TextOf(const char* text, const char*, int) {
    return text;
}

// XSI strerror_r fills the buffer and returns 0, or fails (an unknown number, a short buffer).
[[maybe_unused]] std::string TextOf(int failed, const char* buffer, int error) {
    return failed == 0 ? buffer : "Unknown error " + std::to_string(error);
}

}  // namespace

std::string ErrnoText(int error) {
    char buffer[256] = {};
    return TextOf(::strerror_r(error, buffer, sizeof buffer), buffer, error);
}

SystemError SystemError::FromErrno(int code, std::string detail) {
    return {code, ErrnoText(code), std::move(detail)};
}

SystemError SystemError::Because(std::string text, std::string detail) {
    return {0, std::move(text), std::move(detail)};
}

std::string SystemError::Describe() const {
    if (detail.empty())
        return text;
    return text + " (" + detail + ")";
}

}  // namespace posix
