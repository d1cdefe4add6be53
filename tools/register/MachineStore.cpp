#include "MachineStore.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/component/StoreFile.h"

namespace lumeq_register {

bool UseMachineStore(bool changing, std::string* error) {
    const std::vector<std::string> paths = component::StoreFile::MachinePaths();
    if (paths.empty()) {
        *error = "XDG_DATA_DIRS names no absolute folder for the machine's registration store";
        return false;
    }
    const std::filesystem::path store = paths.front();
    if (changing) {
        if (geteuid() != 0) {
            *error = "only root may change the machine's registration store " + store.string() +
                     "; run this as root (for example with sudo), or leave out --system to "
                     "register for yourself alone";
            return false;
        }
        // Every user's programs read it: the folder must not be private to root.
        const std::filesystem::path folder = store.parent_path();
        std::error_code ec;
        if (!std::filesystem::exists(folder, ec)) {
            std::filesystem::create_directories(folder, ec);
            if (!ec)
                std::filesystem::permissions(folder, std::filesystem::perms(0755), ec);
            if (ec) {
                *error = "cannot make the folder " + folder.string() + ": " + ec.message();
                return false;
            }
        }
    }
    if (setenv("KARVEL_COMPONENT_STORE", store.c_str(), 1) != 0) {
        *error = "cannot point the registration at " + store.string();
        return false;
    }
    return true;
}

}  // namespace lumeq_register
