// Test builds only: KARVEL_REGISTRATION_FAULT, a comma-separated list of steps ("typelib",
// "class"), makes those registration steps fail.

#include <cstdlib>

#include "platform/component/RegistrationFault.h"
#include "platform/component/TextFile.h"

namespace component {

bool RegistrationFaultInjected(std::string_view step) {
    const char* value = std::getenv("KARVEL_REGISTRATION_FAULT");
    if (!value)
        return false;
    std::string_view list = value;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        if (TrimBlanks(list.substr(0, comma)) == step)
            return true;
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    return false;
}

}  // namespace component
