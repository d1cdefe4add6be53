#include "platform/component/StoreFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "platform/component/EnvironmentInUse.h"
#include "platform/component/ErrorText.h"
#include "platform/component/StoreLock.h"
#include "platform/component/StoreWriter.h"
#include "platform/component/TextFile.h"
#include "platform/posix/Accounts.h"
#include "platform/posix/TrustedFile.h"
#include "platform/posix/UniqueFd.h"

namespace component {

namespace {

constexpr const char* kStoreVariable = "KARVEL_COMPONENT_STORE";

std::string HomeDirectory(const posix::Environment& environment) {
    if (environment.home.starts_with('/'))
        return environment.home;
    // The reentrant lookup: this runs on any thread.
    if (const auto user = posix::LookUpUser(getuid()); user && user->home.starts_with('/'))
        return user->home;
    return {};
}

}  // namespace

std::string StoreFile::Path(std::string* error) {
    return Path(EnvironmentInUse(), error);
}

std::string StoreFile::Path(const posix::Environment& environment, std::string* error) {
    if (const std::string& named = environment.componentStore; !named.empty()) {
        if (named[0] != '/') {
            *error = std::string(kStoreVariable) + " (\"" + Printable(named) +
                     "\") is not an absolute path";
            return {};
        }
        return named;
    }
    std::string data;
    if (environment.dataHome.starts_with('/')) {
        data = environment.dataHome;
    } else {
        const std::string home = HomeDirectory(environment);
        if (home.empty()) {
            *error = "neither XDG_DATA_HOME nor the home directory is known";
            return {};
        }
        data = home + "/.local/share";
    }
    return data + "/karvel/components.store";
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
    return LoadAt(EnvironmentInUse(), out, path, error);
}

Result StoreFile::LoadAt(const posix::Environment& environment, RegistrationStore* out,
                         std::string* path, std::string* error) {
    *out = RegistrationStore();
    *path = Path(environment, error);
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
    const posix::Environment environment = EnvironmentInUse();
    RegistrationStore store;
    std::string user;
    std::string error;
    if (const Result r = LoadAt(environment, &store, &user, &error); Failed(r)) {
        SetErrorText(error);
        return r;
    }
    if (found(store)) {
        *path = user;
        return kOk;
    }
    std::string machine;
    for (const std::string& candidate : MachinePaths(environment)) {
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
