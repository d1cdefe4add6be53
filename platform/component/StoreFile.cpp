#include "platform/component/StoreFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/component/ErrorText.h"
#include "platform/component/StoreLock.h"
#include "platform/component/StoreWriter.h"
#include "platform/component/TextFile.h"
#include "platform/component/TrustedFile.h"
#include "platform/posix/Accounts.h"
#include "platform/posix/UniqueFd.h"

namespace component {

namespace {

constexpr const char* kStoreVariable = "KARVEL_COMPONENT_STORE";

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    // The reentrant lookup: this runs on any thread.
    if (const auto user = posix::LookUpUser(getuid()); user && user->home.starts_with('/'))
        return user->home;
    return {};
}

}  // namespace

std::string StoreFile::Path(std::string* error) {
    if (const char* named = std::getenv(kStoreVariable); named && *named) {
        if (named[0] != '/') {
            *error = std::string(kStoreVariable) + " (\"" + Printable(named) +
                     "\") is not an absolute path";
            return {};
        }
        return named;
    }
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
        data = xdg;
    } else {
        const std::string home = HomeDirectory();
        if (home.empty()) {
            *error = "neither XDG_DATA_HOME nor the home directory is known";
            return {};
        }
        data = home + "/.local/share";
    }
    return data + "/karvel/components.store";
}

std::vector<std::string> StoreFile::MachinePaths() {
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string_view list = dirs && *dirs ? dirs : "/usr/local/share/:/usr/share/";
    std::vector<std::string> paths;
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        std::string folder(list.substr(0, colon));
        list.remove_prefix(colon == std::string_view::npos ? list.size() : colon + 1);
        // Relative entries are not meant for us (the XDG rules ignore them).
        if (folder.empty() || folder.front() != '/')
            continue;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        std::string path = (folder == "/" ? "" : folder) + "/karvel/components.store";
        if (std::find(paths.begin(), paths.end(), path) == paths.end())
            paths.push_back(std::move(path));
    }
    return paths;
}

Result StoreFile::Load(const std::string& path, RegistrationStore* out, std::string* error,
                       std::size_t limit) {
    *out = RegistrationStore();
    std::string text;
    std::string reason;
    if (const int e = ReadTrustedText(path, limit, &text, &reason); e != 0) {
        if (e == ENOENT)
            return kOk;
        *error = "the registration store " + Printable(path) + " cannot be read: " + reason;
        if (e == EFBIG)
            *error +=
                "; it is not a registration store, or it is damaged: remove it and "
                "register the components again";
        return kRegistryAccess;
    }
    return RegistrationStore::Parse(text, path, out, error);
}

Result StoreFile::LoadCurrent(RegistrationStore* out, std::string* path, std::string* error) {
    *out = RegistrationStore();
    *path = Path(error);
    if (path->empty()) {
        *error = "the registration store cannot be found: " + *error;
        return kRegistryAccess;
    }
    return Load(*path, out, error);
}

Result StoreFile::LoadForLookup(RegistrationStore* out, std::string* path) {
    std::string error;
    const Result r = LoadCurrent(out, path, &error);
    if (Failed(r))
        SetErrorText(error);
    return r;
}

Result StoreFile::FindForLookup(const std::function<bool(const RegistrationStore&)>& found,
                                std::string* path, std::string* looked) {
    RegistrationStore store;
    std::string user;
    if (const Result r = LoadForLookup(&store, &user); Failed(r))
        return r;
    if (found(store)) {
        *path = user;
        return kOk;
    }
    std::string machine;
    for (const std::string& candidate : MachinePaths()) {
        std::string error;
        if (const Result r = Load(candidate, &store, &error); Failed(r)) {
            SetErrorText(error);
            return r;
        }
        if (found(store)) {
            *path = candidate;
            return kOk;
        }
        machine += (machine.empty() ? "" : ", ") + candidate;
    }
    *looked = "the registration store " + user + " does not list it" +
              (machine.empty() ? std::string() : ", nor do the machine's stores " + machine);
    return kFalse;
}

Result StoreFile::Update(const std::string& path,
                         const std::function<Result(RegistrationStore&)>& change,
                         std::string* error) {
    StoreWriter writer;
    if (const Result r = writer.Open(path, kStoreLockWait, error); Failed(r))
        return r;
    const Result r = change(writer.Store());
    if (Failed(r) || r == kFalse)
        return r;
    return writer.Commit(error);
}

Result StoreFile::CheckWritable(const std::string& path, std::string* error) {
    StoreWriter writer;
    // The update that failed has waited already.
    if (const Result r = writer.Open(path, std::chrono::milliseconds{0}, error); Failed(r))
        return r;
    return writer.CheckCanCreate(error);
}

}  // namespace component
