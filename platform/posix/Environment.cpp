#include "platform/posix/Environment.h"

#include <cstdlib>

namespace posix {

namespace {

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

Environment Environment::FromProcess() {
    Environment e;
    e.home = Variable("HOME");
    e.dataHome = Variable("XDG_DATA_HOME");
    e.dataDirs = Variable("XDG_DATA_DIRS");
    e.stateHome = Variable("XDG_STATE_HOME");
    e.runtimeDir = Variable("XDG_RUNTIME_DIR");
    e.qtPlatform = Variable("QT_QPA_PLATFORM");
    e.componentStore = Variable("KARVEL_COMPONENT_STORE");
    e.machineStore = Variable("KARVEL_MACHINE_STORE");
    e.componentManifest = Variable("KARVEL_COMPONENT_MANIFEST");
    e.portFolder = Variable("KARVEL_PORT_DIR");
    e.hidSys = Variable("KARVEL_HID_SYS");
    e.hidDev = Variable("KARVEL_HID_DEV");
    e.display = Variable("DISPLAY");
    e.waylandDisplay = Variable("WAYLAND_DISPLAY");
    e.sessionType = Variable("XDG_SESSION_TYPE");
    if (const char* credentials = std::getenv("CREDENTIALS_DIRECTORY"))
        e.credentials = credentials;
    return e;
}

}  // namespace posix
