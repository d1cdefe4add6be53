#include "platform/component/EnvironmentInUse.h"

#include <mutex>
#include <optional>

namespace component {

namespace {

std::mutex g_lock;
std::optional<posix::Environment> g_handedOver;  // guarded by g_lock

}  // namespace

void UseEnvironment(posix::Environment environment) {
    const std::lock_guard lock(g_lock);
    g_handedOver = std::move(environment);
}

posix::Environment EnvironmentInUse() {
    {
        const std::lock_guard lock(g_lock);
        if (g_handedOver)
            return *g_handedOver;
    }
    return posix::Environment::FromProcess();
}

}  // namespace component
