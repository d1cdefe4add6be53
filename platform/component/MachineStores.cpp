// Where the machine's registration stores are: variable state that the administrator writes,
// then static files that packages own.

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/component/EnvironmentInUse.h"
#include "platform/component/ErrorText.h"
#include "platform/component/StoreFile.h"

namespace component {

namespace {

constexpr const char* kMachineStoreVariable = "KARVEL_MACHINE_STORE";
constexpr const char* kMachineStore = "/var/lib/karvel/components.store";
constexpr std::string_view kShippedSuffix = ".store";

// The absolute folders of $XDG_DATA_DIRS, without trailing slashes and repeats; relative
// entries are not meant for us (the XDG rules ignore them).
std::vector<std::string> DataFolders(const posix::Environment& environment) {
    std::string_view list = environment.dataDirs;
    if (list.empty())
        list = "/usr/local/share/:/usr/share/";
    std::vector<std::string> folders;
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        std::string folder(list.substr(0, colon));
        list.remove_prefix(colon == std::string_view::npos ? list.size() : colon + 1);
        if (folder.empty() || folder.front() != '/')
            continue;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(std::move(folder));
    }
    return folders;
}

// The `*.store` files of `folder` by name. Each is read under the trust rules later; a folder
// that cannot be listed holds none.
std::vector<std::string> ShippedStores(const std::string& folder) {
    std::vector<std::string> stores;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() > kShippedSuffix.size() && name.ends_with(kShippedSuffix) &&
            name.front() != '.')
            stores.push_back(it->path().string());
    }
    std::sort(stores.begin(), stores.end());
    return stores;
}

}  // namespace

std::string StoreFile::MachinePath(std::string* error) {
    return MachinePath(EnvironmentInUse(), error);
}

std::string StoreFile::MachinePath(const posix::Environment& environment, std::string* error) {
    const std::string& named = environment.machineStore;
    if (named.empty())
        return kMachineStore;
    if (named[0] != '/') {
        *error = std::string(kMachineStoreVariable) + " (\"" + Printable(named) +
                 "\") is not an absolute path";
        return {};
    }
    return named;
}

std::vector<std::string> StoreFile::MachinePaths() {
    return MachinePaths(EnvironmentInUse());
}

std::vector<std::string> StoreFile::MachinePaths(const posix::Environment& environment) {
    std::vector<std::string> paths;
    std::string error;
    // A relative variable is reported where the store is written; lookups pass over it.
    if (std::string path = MachinePath(environment, &error); !path.empty())
        paths.push_back(std::move(path));
    for (const std::string& folder : DataFolders(environment)) {
        const std::string shipped = (folder == "/" ? "" : folder) + "/karvel/components.d";
        for (std::string& store : ShippedStores(shipped)) {
            if (std::find(paths.begin(), paths.end(), store) == paths.end())
                paths.push_back(std::move(store));
        }
    }
    return paths;
}

}  // namespace component
