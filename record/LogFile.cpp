#include "record/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <utility>

#include "platform/posix/FileKind.h"
#include "platform/posix/SystemError.h"

namespace record {

namespace {

std::string NotRegular(const std::string& path, mode_t mode) {
    return path + " is " + posix::KindOf(mode) + ", not a regular file";
}

// A descriptor open for appending to the regular file `path`, or -1 with the reason in `error`.
// The file itself must be regular: a link is not followed, and a FIFO cannot hold the open.
int OpenRegular(const std::string& path, bool* empty, std::string* error) {
    const int fd = ::open(
        path.c_str(),
        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    struct stat info {};
    if (fd < 0) {
        const int err = errno;
        if (::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
            *error = NotRegular(path, info.st_mode);
        else
            *error = "cannot open " + path + ": " + posix::SystemError::FromErrno(err).Describe();
        return -1;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = NotRegular(path, info.st_mode);
        ::close(fd);
        return -1;
    }
    // A regular file never blocks; the flag only kept a FIFO from holding the open.
    ::fcntl(fd, F_SETFL, O_APPEND);
    *empty = info.st_size == 0;
    return fd;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A new file beside `path`, named so that nothing else has it; -1 when none could be made.
int CreateBeside(const std::string& path, std::string* name) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%08x", random());
        *name = folder + "." + base + suffix;
        const int fd = ::open(
            name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

}  // namespace

bool MayReplace(const std::string& path, std::string* error) {
    struct stat old {};
    if (::lstat(path.c_str(), &old) == 0 && !S_ISREG(old.st_mode)) {
        *error = NotRegular(path, old.st_mode);
        return false;
    }
    return true;
}

bool ReplaceWhole(const std::string& path, std::string_view bytes, std::string* error) {
    if (!MayReplace(path, error))
        return false;
    struct stat old {};
    const bool exists = ::lstat(path.c_str(), &old) == 0;
    std::string temporary;
    const int fd = CreateBeside(path, &temporary);
    if (fd < 0) {
        *error = "cannot write " + path + ": " + posix::ErrnoText(errno);
        return false;
    }
    const bool written = (!exists || ::fchmod(fd, old.st_mode & 0777) == 0) &&
                         WriteAll(fd, bytes) && ::fsync(fd) == 0;
    const int err = errno;
    ::close(fd);
    // rename replaces the name itself: a link planted there since is replaced, never followed.
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = "cannot write " + path + ": " + posix::ErrnoText(written ? errno : err);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::unique_ptr<LogFile> LogFile::Open(const std::string& path, std::string header,
                                       std::string* error) {
    bool empty = false;
    const int fd = OpenRegular(path, &empty, error);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<LogFile> file(new LogFile(path, std::move(header), fd));
    file->m_headerPending = empty;
    file->Retry();
    return file;
}

LogFile::LogFile(std::string path, std::string header, int fd)
    : m_path(std::move(path)), m_header(std::move(header)), m_fd(fd) {}

LogFile::~LogFile() {
    Sync();
    ::close(m_fd);
}

bool LogFile::Append(std::string record) {
    Keep(std::move(record));
    return Retry();
}

void LogFile::Keep(std::string record) {
    m_pendingBytes += record.size();
    m_pending.push_back(std::move(record));
    while (m_pendingBytes > kMaxPendingBytes && m_pending.size() > 1) {
        // A record already begun in the file is finished, never dropped.
        const auto oldest = m_pending.begin() + (m_frontWritten > 0 ? 1 : 0);
        m_pendingBytes -= oldest->size();
        m_pending.erase(oldest);
        ++m_dropped;
    }
}

// Writes the rest of `bytes` after its first `*written`; true when all of it is in the file.
bool LogFile::WriteSome(const std::string& bytes, std::size_t* written) {
    while (*written < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.data() + *written, bytes.size() - *written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_failure = n < 0 ? posix::SystemError::FromErrno(errno)
                              : posix::SystemError::Because("nothing could be written");
            return false;
        }
        *written += static_cast<std::size_t>(n);
        m_unsynced = true;
    }
    return true;
}

// What was written of a record the file then refused is taken back from its end, so that the
// file never ends in part of a row (a rotation then would keep it so); the record goes whole
// when the file takes it again. Not when the file is shorter than that (truncated meanwhile).
void LogFile::TakeBack(std::size_t* written) {
    struct stat info {};
    if (*written == 0 || ::fstat(m_fd, &info) != 0 || info.st_size < static_cast<off_t>(*written))
        return;
    if (::ftruncate(m_fd, info.st_size - static_cast<off_t>(*written)) == 0)
        *written = 0;
}

bool LogFile::Retry() {
    if (m_headerPending) {
        if (!WriteSome(m_header, &m_headerWritten)) {
            TakeBack(&m_headerWritten);
            return false;
        }
        m_headerPending = false;
    }
    while (!m_pending.empty()) {
        if (!WriteSome(m_pending.front(), &m_frontWritten)) {
            TakeBack(&m_frontWritten);
            return false;
        }
        m_pendingBytes -= m_pending.front().size();
        m_pending.pop_front();
        m_frontWritten = 0;
    }
    m_failure = {};
    return true;
}

bool LogFile::Sync() {
    if (!m_unsynced)
        return true;
    if (::fdatasync(m_fd) != 0) {
        m_failure = posix::SystemError::FromErrno(errno);
        return false;
    }
    m_unsynced = false;
    return true;
}

bool LogFile::Reopen(std::string* error) {
    bool empty = false;
    const int fd = OpenRegular(m_path, &empty, error);
    if (fd < 0)
        return false;
    Sync();
    ::close(m_fd);
    m_fd = fd;
    // What was begun in the old file is written whole to the new one.
    m_frontWritten = 0;
    m_headerWritten = 0;
    m_headerPending = empty;
    Retry();
    return true;
}

std::string FirstLine(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat info {};
    std::string head(4096, '\0');
    ssize_t n = -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        do {
            n = ::read(fd, head.data(), head.size());
        } while (n < 0 && errno == EINTR);
    }
    ::close(fd);
    head.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return head.substr(0, head.find_first_of("\r\n"));
}

}  // namespace record
