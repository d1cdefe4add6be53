#pragma once

// One read-change-write of a registration store file (StoreFile.h tells the rules), held open
// so that several changes become one replacement of the file under one lock.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>

#include "platform/component/RegistrationStore.h"
#include "platform/component/Result.h"
#include "platform/posix/TrustedFile.h"
#include "platform/posix/UniqueFd.h"

namespace component {

// What readers read of a store at most (StoreFile::Load). A registration takes a few hundred
// bytes: this holds thousands, and keeps a file that is no store from holding up a start.
inline constexpr std::size_t kStoreReadLimit = 1 << 20;
// What a writer reads at most: more, so that unregistering can shrink a store that is too large.
inline constexpr std::size_t kStoreWriterReadLimit = 16 * kStoreReadLimit;

// Makes the missing folders of absolute `directory` with exactly `mode` (whatever the umask),
// each inside a folder that passed the trust rules, so that nothing is made inside a folder
// another user could change. kRegistryAccess with the reason in `error`. Any thread.
Result MakeTrustedFolders(const std::string& directory, mode_t mode, std::string* error);

class StoreWriter {
  public:
    // Makes the store's folder when missing (private to the user), takes the store's lock,
    // waiting at most `wait`, removes the temporary files of writers that were killed, and
    // reads the store. kRegistryAccess with the reason in `error` on failure.
    Result Open(const std::string& path, std::chrono::milliseconds wait, std::string* error);

    // The contents read by Open, to be changed. REQUIRES: Open succeeded.
    RegistrationStore& Store() { return m_store; }

    // Replaces the file with Store() when it changed since Open (a new file beside it, fsync,
    // rename, fsync of the folder). Refuses, leaving the file as it was, contents that would
    // grow past kStoreReadLimit. The lock stays until the object goes.
    Result Commit(std::string* error);

    // Whether a file can be made beside the store now, for explaining a failure.
    Result CheckCanCreate(std::string* error) const;

    const std::string& Path() const { return m_path; }

  private:
    void RemoveStaleTemporaries() const;

    std::string m_path;
    posix::TrustedFile m_folder;
    posix::UniqueFd m_lock;
    RegistrationStore m_read;
    RegistrationStore m_store;
};

}  // namespace component
