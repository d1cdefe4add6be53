#include "platform/component/LibraryCache.h"

#include <cerrno>
#include <map>
#include <mutex>

#include "platform/component/ErrorText.h"
#include "platform/posix/TrustedFile.h"

namespace component {

namespace {

struct Cache {
    // Recursive: a library's static initialisers may themselves ask for a class.
    std::recursive_mutex mutex;
    std::map<std::string, Library> libraries;  // by canonical path
};

Cache& TheCache() {
    static Cache cache;
    return cache;
}

}  // namespace

Result LoadCachedLibrary(const std::string& path, const Library** out) {
    *out = nullptr;
    if (path.empty() || path.front() != '/') {
        SetErrorText("the library \"" + Printable(path) +
                     "\" is not given by an absolute path; libraries are never looked up by "
                     "name or in the current directory");
        return kCannotLoadLibrary;
    }
    posix::TrustedFile file = posix::TrustedFile::Open(path, posix::TrustedFile::LastLink::kFollow);
    if (!file) {
        SetErrorText("the library " + Printable(path) +
                     (file.Error() == ENOENT ? " cannot be found: " : " cannot be loaded: ") +
                     file.Reason());
        return kCannotLoadLibrary;
    }
    const std::string canonical = file.CanonicalPath();

    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    if (auto it = cache.libraries.find(canonical); it != cache.libraries.end()) {
        *out = &it->second;
        return kOk;
    }
    std::string error;
    Library library = Library::Open(std::move(file), &error);
    if (!library) {
        SetErrorText("the library " + Printable(canonical) + " cannot be loaded: " + error);
        return kCannotLoadLibrary;
    }
    auto [it, inserted] = cache.libraries.emplace(canonical, std::move(library));
    *out = &it->second;
    return kOk;
}

void* FindExportAddress(const Library& library, const char* name) {
    void* address = library.Export(name);
    if (!address)
        SetErrorText("the library " + Printable(library.Path()) + " does not export " + name);
    return address;
}

}  // namespace component
