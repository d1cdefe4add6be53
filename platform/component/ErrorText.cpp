#include "ErrorText.h"

#include <cstring>

namespace component {

namespace {
thread_local std::string t_errorText;
}  // namespace

void SetErrorText(std::string text) {
    t_errorText = std::move(text);
}

const std::string& ErrorText() {
    return t_errorText;
}

std::string SystemErrorText(int error) {
    char buffer[256];
    // The GNU variant may return a static string instead of filling the buffer.
    return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace component
