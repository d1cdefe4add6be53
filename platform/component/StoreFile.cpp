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
#include "platform/component/TextFile.h"
#include "platform/component/TrustedFile.h"
#include "platform/posix/Accounts.h"
#include "platform/posix/UniqueFd.h"

namespace component {

namespace {

constexpr const char* kStoreVariable = "KARVEL_COMPONENT_STORE";
// A registration takes a few hundred bytes: this holds thousands, and keeps a file that is no
// store from holding up a program's start.
constexpr std::size_t kStoreLimit = 1 << 20;

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    // The reentrant lookup: this runs on any thread.
    if (const auto user = posix::LookUpUser(getuid()); user && user->home.starts_with('/'))
        return user->home;
    return {};
}

// Creates `directory` and its missing parents (new ones private to the user).
int MakeDirectories(const std::string& directory) {
    if (directory.empty() || directory == "/")
        return 0;
    struct stat st {};
    if (stat(directory.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (const int e = MakeDirectories(DirectoryOf(directory)); e != 0)
        return e;
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

int WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

std::string BaseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// Makes the folder of the store at `path` when missing, opens it and takes the store's lock,
// waiting at most `wait` for it.
Result OpenForUpdate(const std::string& path, std::chrono::milliseconds wait, TrustedFile* folder,
                     posix::UniqueFd* lock, std::string* error) {
    if (path.empty() || path.front() != '/') {
        *error = "the registration store path \"" + Printable(path) + "\" is not absolute";
        return kRegistryAccess;
    }
    const std::string directory = DirectoryOf(path);
    if (const int e = MakeDirectories(directory); e != 0) {
        *error = "cannot create the folder " + Printable(directory) +
                 " of the registration store " + Printable(path) + ": " + SystemErrorText(e);
        return kRegistryAccess;
    }
    *folder = TrustedFile::OpenFolder(directory);
    if (!*folder) {
        *error = "the folder " + Printable(directory) + " of the registration store " +
                 Printable(path) + " cannot be used: " + folder->Reason();
        return kRegistryAccess;
    }
    return LockStore(folder->Fd(), BaseName(path) + ".lock", path + ".lock", wait, lock, error);
}

// Writes `text` to a new file beside `path` and renames it over `path`, durably. `folder` is
// the store's open folder.
Result ReplaceFile(const std::string& path, const TrustedFile& folder, const std::string& text,
                   std::string* error) {
    std::string temporary = path + ".tmp-XXXXXX";
    posix::UniqueFd file(mkostemp(temporary.data(), O_CLOEXEC));
    if (!file) {
        *error = "cannot create a temporary file beside " + path + ": " + SystemErrorText(errno);
        return kRegistryAccess;
    }
    auto fail = [&](const std::string& what, int e) {
        file.Reset();
        unlink(temporary.c_str());
        *error = Printable(what) + ": " + SystemErrorText(e);
        return kRegistryAccess;
    };
    if (fchmod(file.Get(), 0644) != 0)
        return fail("cannot set the mode of " + temporary, errno);
    if (const int e = WriteAll(file.Get(), text); e != 0)
        return fail("cannot write " + temporary, e);
    if (fsync(file.Get()) != 0)
        return fail("cannot flush " + temporary, errno);
    if (const int e = file.Reset(); e != 0)
        return fail("cannot close " + temporary, e);
    if (rename(temporary.c_str(), path.c_str()) != 0)
        return fail("cannot rename " + temporary + " to " + path, errno);

    if (fsync(folder.Fd()) != 0) {
        // The new store is in place; only its durability across a power cut is in doubt.
        *error = "cannot flush the folder " + Printable(folder.CanonicalPath()) + ": " +
                 SystemErrorText(errno);
        return kRegistryAccess;
    }
    return kOk;
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

Result StoreFile::Load(const std::string& path, RegistrationStore* out, std::string* error) {
    *out = RegistrationStore();
    std::string text;
    std::string reason;
    if (const int e = ReadTrustedText(path, kStoreLimit, &text, &reason); e != 0) {
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
    TrustedFile folder;
    posix::UniqueFd lock;
    if (const Result r = OpenForUpdate(path, kStoreLockWait, &folder, &lock, error); Failed(r))
        return r;
    RegistrationStore store;
    if (const Result r = Load(path, &store, error); Failed(r))
        return r;
    const Result r = change(store);
    if (Failed(r) || r == kFalse)
        return r;
    return ReplaceFile(path, folder, store.Format(), error);
    // The lock goes with `lock`, after the rename.
}

Result StoreFile::CheckWritable(const std::string& path, std::string* error) {
    TrustedFile folder;
    posix::UniqueFd lock;
    // The update that failed has waited already.
    if (const Result r = OpenForUpdate(path, std::chrono::milliseconds{0}, &folder, &lock, error);
        Failed(r))
        return r;
    std::string temporary = path + ".tmp-XXXXXX";
    posix::UniqueFd file(mkostemp(temporary.data(), O_CLOEXEC));
    if (!file) {
        *error = "cannot create a file beside " + Printable(path) + ": " + SystemErrorText(errno);
        return kRegistryAccess;
    }
    unlink(temporary.c_str());
    return kOk;
}

}  // namespace component
