#include "tools/register/MachineStore.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/component/ErrorText.h"
#include "platform/component/StoreFile.h"
#include "platform/component/StoreWriter.h"

namespace lumeq_register {

bool UseMachineStore(bool changing, posix::Environment* environment, std::string* error) {
    const std::filesystem::path store = component::StoreFile::MachinePath(*environment, error);
    if (store.empty())
        return false;
    if (changing) {
        if (geteuid() != 0) {
            *error = "only root may change the machine's registration store " + store.string() +
                     "; run this as root (for example with sudo), or leave out --system to "
                     "register for yourself alone";
            return false;
        }
        // Every user's programs read it: new folders are 0755 whatever root's umask, and none
        // is made inside a folder another user could change.
        const std::string folder = store.parent_path().string();
        if (std::string why; component::Failed(component::MakeTrustedFolders(folder, 0755, &why))) {
            *error = "cannot make the folder " + component::Printable(folder) + ": " + why;
            return false;
        }
    }
    if (setenv("KARVEL_COMPONENT_STORE", store.c_str(), 1) != 0) {
        *error = "cannot point the registration at " + store.string();
        return false;
    }
    environment->componentStore = store.string();
    return true;
}

}  // namespace lumeq_register
