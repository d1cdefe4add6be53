#pragma once

// A failure made to happen in one registration step, for the tests of a library's
// self-registration. Only test builds define the function (they link
// tests/component/support/RegistrationFault.cpp); in every other build it is a null weak
// reference that is resolved when the library is linked, never by the loader, so nothing can
// make a shipped library's registration fail on purpose.

#include <string_view>

namespace component {

// Whether the registration step `step` ("typelib" or "class") is to fail.
[[gnu::weak, gnu::visibility("hidden")]] bool RegistrationFaultInjected(std::string_view step);

}  // namespace component
