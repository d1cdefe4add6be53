#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string_view>

#include "platform/component/Registration.h"

namespace component {

std::string ModulePathOf(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info))
        return {};
    char resolved[PATH_MAX];
    if (info.dli_fname && info.dli_fname[0] == '/') {
        if (realpath(info.dli_fname, resolved))
            return resolved;
        // A library loaded from its descriptor (Library.h) is named by it and nothing else.
        return std::string_view(info.dli_fname).starts_with("/proc/self/fd/") ? "" : info.dli_fname;
    }
    // Only the main program is reported without an absolute name (empty or as started).
    const ssize_t n = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (n <= 0)
        return {};
    return std::string(resolved, static_cast<std::size_t>(n));
}

}  // namespace component
