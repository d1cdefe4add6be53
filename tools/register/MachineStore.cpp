#include "MachineStore.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/component/StoreFile.h"

namespace lumeq_register {

bool UseMachineStore(bool changing, std::string* error) {
    const std::filesystem::path store = component::StoreFile::MachinePath(error);
    if (store.empty())
        return false;
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
