#include "record/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace

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

bool LogFile::Retry() {
    if (m_headerPending) {
        if (!WriteSome(m_header, &m_headerWritten))
            return false;
        m_headerPending = false;
    }
    while (!m_pending.empty()) {
        if (!WriteSome(m_pending.front(), &m_frontWritten))
            return false;
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

}  // namespace record
