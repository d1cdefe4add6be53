#include "platform/component/StoreWriter.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/component/ErrorText.h"
#include "platform/component/StoreFile.h"
#include "platform/component/StoreLock.h"
#include "platform/component/TextFile.h"
#include "platform/posix/SystemError.h"

namespace component {

namespace {

constexpr std::string_view kTemporaryMark = ".tmp-";
constexpr std::size_t kTemporaryRandom = 6;  // the XXXXXX of mkostemp

std::string BaseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
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

// Writes `text` to a new file beside `path` and renames it over `path`, durably. `folder` is
// the store's open folder.
Result ReplaceFile(const std::string& path, const posix::TrustedFile& folder,
                   const std::string& text, std::string* error) {
    std::string temporary = path + std::string(kTemporaryMark) + "XXXXXX";
    posix::UniqueFd file(mkostemp(temporary.data(), O_CLOEXEC));
    if (!file) {
        *error = "cannot create a temporary file beside " + Printable(path) + ": " +
                 posix::ErrnoText(errno);
        return kRegistryAccess;
    }
    auto fail = [&](const std::string& what, int e) {
        file.Reset();
        unlink(temporary.c_str());
        *error = Printable(what) + ": " + posix::ErrnoText(e);
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
                 posix::ErrnoText(errno);
        return kRegistryAccess;
    }
    return kOk;
}

}  // namespace

Result MakeTrustedFolders(const std::string& directory, mode_t mode, std::string* error) {
    std::vector<std::string> missing;
    std::string existing = directory;
    struct stat st {};
    while (existing != "/" && lstat(existing.c_str(), &st) != 0 && errno == ENOENT) {
        missing.push_back(BaseName(existing));
        existing = DirectoryOf(existing);
    }
    if (missing.empty())
        return kOk;
    posix::TrustedFile parent = posix::TrustedFile::OpenFolder(existing);
    if (!parent) {
        *error = parent.Reason();
        return kRegistryAccess;
    }
    posix::UniqueFd at = parent.TakeFd();
    for (auto name = missing.rbegin(); name != missing.rend(); ++name) {
        existing += (existing == "/" ? "" : "/") + *name;
        const bool made = mkdirat(at.Get(), name->c_str(), mode) == 0;
        const int e = errno;
        posix::UniqueFd next(
            openat(at.Get(), name->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        // The umask must not take away what other users are meant to read.
        if ((!made && e != EEXIST) || !next || (made && fchmod(next.Get(), mode) != 0)) {
            const int failure = !made && e != EEXIST ? e : errno;
            *error = (existing == directory ? "" : "cannot create " + Printable(existing) + ": ") +
                     posix::ErrnoText(failure);
            return kRegistryAccess;
        }
        at = std::move(next);
    }
    return kOk;
}

Result StoreWriter::Open(const std::string& path, std::chrono::milliseconds wait,
                         std::string* error) {
    m_path = path;
    if (path.empty() || path.front() != '/') {
        *error = "the registration store path \"" + Printable(path) + "\" is not absolute";
        return kRegistryAccess;
    }
    const std::string directory = DirectoryOf(path);
    if (std::string why; Failed(MakeTrustedFolders(directory, 0700, &why))) {
        *error = "cannot create the folder " + Printable(directory) +
                 " of the registration store " + Printable(path) + ": " + why;
        return kRegistryAccess;
    }
    m_folder = posix::TrustedFile::OpenFolder(directory);
    if (!m_folder) {
        *error = "the folder " + Printable(directory) + " of the registration store " +
                 Printable(path) + " cannot be used: " + m_folder.Reason();
        return kRegistryAccess;
    }
    if (const Result r = LockStore(m_folder.Fd(), BaseName(path) + ".lock", path + ".lock", wait,
                                   &m_lock, error);
        Failed(r))
        return r;
    RemoveStaleTemporaries();
    if (const Result r = StoreFile::Load(path, &m_read, error, kStoreWriterReadLimit); Failed(r))
        return r;
    m_store = m_read;
    return kOk;
}

void StoreWriter::RemoveStaleTemporaries() const {
    // Under the lock, no writer is between creating its file and renaming it: what is there
    // was left by one that was killed.
    const std::string prefix = BaseName(m_path) + std::string(kTemporaryMark);
    const int fd = openat(m_folder.Fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(fdopendir(fd), closedir);
    if (!dir) {
        close(fd);
        return;
    }
    std::vector<std::string> stale;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name.starts_with(prefix) && name.size() == prefix.size() + kTemporaryRandom)
            stale.emplace_back(name);
    }
    for (const std::string& name : stale)
        unlinkat(m_folder.Fd(), name.c_str(), 0);
}

Result StoreWriter::Commit(std::string* error) {
    if (m_store == m_read)
        return kOk;
    const std::string text = m_store.Format();
    // Refused only when it grows: unregistering must stay possible.
    if (text.size() > kStoreReadLimit && text.size() >= m_read.Format().size()) {
        *error = "the registration store " + Printable(m_path) + " would hold " +
                 std::to_string(text.size()) + " bytes, more than the " +
                 std::to_string(kStoreReadLimit) +
                 " bytes that programs read; nothing was changed. Unregister what is no longer "
                 "used (lumeq-register --list shows what is registered) and try again";
        return kRegistryAccess;
    }
    if (const Result r = ReplaceFile(m_path, m_folder, text, error); Failed(r))
        return r;
    m_read = m_store;
    return kOk;
}

Result StoreWriter::CheckCanCreate(std::string* error) const {
    std::string temporary = m_path + std::string(kTemporaryMark) + "XXXXXX";
    posix::UniqueFd file(mkostemp(temporary.data(), O_CLOEXEC));
    if (!file) {
        *error =
            "cannot create a file beside " + Printable(m_path) + ": " + posix::ErrnoText(errno);
        return kRegistryAccess;
    }
    unlink(temporary.c_str());
    return kOk;
}

}  // namespace component
