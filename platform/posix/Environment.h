#pragma once

// What the process takes from its environment, read once in main and handed down: nothing reads
// a variable at the moment of use, and a test hands its own. An unset variable reads as empty.

#include <optional>
#include <string>

namespace posix {

struct Environment {
    std::string home;               // HOME
    std::string dataHome;           // XDG_DATA_HOME
    std::string dataDirs;           // XDG_DATA_DIRS
    std::string stateHome;          // XDG_STATE_HOME
    std::string runtimeDir;         // XDG_RUNTIME_DIR: the session's own folder
    std::string qtPlatform;         // QT_QPA_PLATFORM: the display Qt is told to use
    std::string componentStore;     // KARVEL_COMPONENT_STORE: the user's registration store
    std::string machineStore;       // KARVEL_MACHINE_STORE: the machine's registration store
    std::string componentManifest;  // KARVEL_COMPONENT_MANIFEST: the manifest instead of ours
    std::string portFolder;         // KARVEL_PORT_DIR: COMn is the entry COMn in it
    std::string hidSys;             // KARVEL_HID_SYS: sysfs for the raw HID devices; empty: /sys
    std::string hidDev;             // KARVEL_HID_DEV: where their nodes are; empty: /dev
    std::optional<std::string> credentials;  // CREDENTIALS_DIRECTORY, set or not (systemd)
    std::string display;                     // DISPLAY
    std::string waylandDisplay;              // WAYLAND_DISPLAY
    std::string sessionType;                 // XDG_SESSION_TYPE

    // The variables as they are now. Thread: any, while no thread changes the environment.
    static Environment FromProcess();
};

}  // namespace posix
