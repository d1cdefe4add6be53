#include "platform/component/ErrorText.h"

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

}  // namespace component
