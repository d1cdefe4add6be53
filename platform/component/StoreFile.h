#pragma once

// Reading and atomically replacing the registration store file of the current user.
//
// The store, its folder and its lock file must pass the trust rules of TrustedFile.h: a store
// that another user could have written is refused, never read. A writer waits a few seconds at
// most for another one (StoreLock.h).
//
// Readers never lock: the file is only ever replaced whole by rename, so a reader sees either
// the old or the new contents. Writers serialise on an advisory lock of "<store>.lock", read,
// change, write a temporary file in the same directory, fsync it, rename it over the store and
// fsync the directory. These functions work in any process and on any thread.

#include <functional>
#include <string>

#include "RegistrationStore.h"
#include "Result.h"

namespace component {

class StoreFile {
  public:
    // KARVEL_COMPONENT_STORE when set (it must be absolute), else
    // $XDG_DATA_HOME/karvel/components.store, $XDG_DATA_HOME defaulting to ~/.local/share.
    // Empty with `error` set when no absolute path can be formed.
    static std::string Path(std::string* error);

    // Reads the store at `path`; a missing file is an empty store. kRegistryAccess with the
    // path (and line) in `error` when the file cannot be read or is damaged.
    static Result Load(const std::string& path, RegistrationStore* out, std::string* error);

    // Load() of the store at Path(); `path` receives the path (empty when none could be formed).
    static Result LoadCurrent(RegistrationStore* out, std::string* path, std::string* error);
    // LoadCurrent() for lookups: a failure (kRegistryAccess) also becomes the thread's error text.
    static Result LoadForLookup(RegistrationStore* out, std::string* path);

    // One atomic read-change-write of the store at `path`. `change` edits the contents and
    // returns kOk to have them written, kFalse when nothing changed, or a failure, which is
    // returned and leaves the file untouched. Filesystem failures give kRegistryAccess with
    // the reason in `error`.
    static Result Update(const std::string& path,
                         const std::function<Result(RegistrationStore&)>& change,
                         std::string* error);

    // Whether Update() of the store at `path` could write now (its folder can be made and is
    // trusted, its lock can be had, a file can be created beside it), without changing the
    // store: for explaining a failed registration. kRegistryAccess with the reason in `error`.
    static Result CheckWritable(const std::string& path, std::string* error);
};

}  // namespace component
