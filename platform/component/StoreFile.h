#pragma once

// Reading and atomically replacing a registration store file. There are two kinds, as a
// per-user and a machine-wide registry are merged: the current user's store, and the machine's:
// the administrator's registrations in /var/lib/karvel, then the stores that packages ship in
// karvel/components.d of the folders of $XDG_DATA_DIRS. Lookups read the user's first, so its
// entries win.
//
// The store, its folder and its lock file must pass the trust rules of
// platform/posix/TrustedFile.h: a store that another user could have written is refused, never
// read. A writer waits a few seconds at most for another one (StoreLock.h).
//
// Readers never lock: the file is only ever replaced whole by rename, so a reader sees either
// the old or the new contents. Writers serialise on an advisory lock of "<store>.lock", read,
// change, write a temporary file in the same directory, fsync it, rename it over the store and
// fsync the directory (StoreWriter.h); the temporary files of killed writers are removed by
// the next one. These functions work in any process and on any thread. Those that take no
// environment use the layer's (EnvironmentInUse.h).

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/component/RegistrationStore.h"
#include "platform/component/Result.h"
#include "platform/component/StoreWriter.h"
#include "platform/posix/Environment.h"

namespace component {

class StoreFile {
  public:
    // KARVEL_COMPONENT_STORE when set (it must be absolute), else
    // $XDG_DATA_HOME/karvel/components.store, $XDG_DATA_HOME defaulting to ~/.local/share.
    // Empty with `error` set when no absolute path can be formed.
    static std::string Path(const posix::Environment& environment, std::string* error);
    static std::string Path(std::string* error);

    // The machine's store that `lumeq-register --system` writes: KARVEL_MACHINE_STORE when set
    // (it must be absolute), else /var/lib/karvel/components.store. Empty with `error` set when
    // the variable is not absolute.
    static std::string MachinePath(const posix::Environment& environment, std::string* error);
    static std::string MachinePath(std::string* error);

    // The machine's stores in lookup order: MachinePath(), then the `*.store` files of
    // <folder>/karvel/components.d, by name, for each absolute folder of $XDG_DATA_DIRS
    // (default /usr/local/share:/usr/share). Packages ship their registrations there as files
    // of their own.
    static std::vector<std::string> MachinePaths(const posix::Environment& environment);
    static std::vector<std::string> MachinePaths();

    // Reads the store at `path`; a missing file is an empty store. kRegistryAccess with the
    // path (and line) in `error` when the file cannot be read, holds more than `limit` bytes,
    // or is damaged.
    static Result Load(const std::string& path, RegistrationStore* out, std::string* error,
                       std::size_t limit = kStoreReadLimit);

    // Load() of the store at Path(); `path` receives the path (empty when none could be formed).
    static Result LoadCurrent(RegistrationStore* out, std::string* path, std::string* error);
    // LoadCurrent() for lookups: a failure (kRegistryAccess) also becomes the thread's error text.
    static Result LoadForLookup(RegistrationStore* out, std::string* path);

    // A lookup over the user's store, then each machine store: calls `found` with each store in
    // turn (a missing one is empty) until it returns true, and then puts that store's path in
    // `path`. kFalse when
    // no store answered, with `looked` telling which were read (for messages); kRegistryAccess,
    // also as the thread's error text, when a store read before the answer cannot be used.
    static Result FindForLookup(const std::function<bool(const RegistrationStore&)>& found,
                                std::string* path, std::string* looked);

    // One atomic read-change-write of the store at `path` (StoreWriter.h). `change` edits the
    // contents and returns kOk to have them written, kFalse when nothing changed, or a
    // failure, which is returned and leaves the file untouched. Filesystem failures, and
    // contents that would grow past kStoreReadLimit, give kRegistryAccess with the reason in
    // `error`.
    static Result Update(const std::string& path,
                         const std::function<Result(RegistrationStore&)>& change,
                         std::string* error);

    // Whether Update() of the store at `path` could write now (its folder can be made and is
    // trusted, its lock can be had, a file can be created beside it), without changing the
    // store: for explaining a failed registration. kRegistryAccess with the reason in `error`.
    static Result CheckWritable(const std::string& path, std::string* error);

  private:
    // LoadCurrent() of the user's store that `environment` names.
    static Result LoadAt(const posix::Environment& environment, RegistrationStore* out,
                         std::string* path, std::string* error);
};

}  // namespace component
