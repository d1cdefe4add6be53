#include "platform/posix/TrustedFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <vector>

#include "platform/posix/FileKind.h"
#include "platform/posix/FileTrust.h"
#include "platform/posix/Printable.h"
#include "platform/posix/SystemError.h"

namespace posix {

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit

std::deque<std::string> Names(const std::string& path) {
    std::deque<std::string> names;
    std::size_t at = 0;
    while (at < path.size()) {
        const std::size_t slash = path.find('/', at);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > at)
            names.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

std::string Join(const std::vector<std::string>& names) {
    std::string path;
    for (const std::string& name : names)
        path += "/" + name;
    return path.empty() ? "/" : path;
}

// The words these refusals have always used.
std::string Kind(mode_t mode) {
    return S_ISFIFO(mode) ? std::string(KindOf(mode)) + " (named pipe)" : KindOf(mode);
}

}  // namespace

// One walk down a path, one name at a time. Each step returns false once the walk has failed
// (the result then says why).
class TrustedFile::Walk {
  public:
    Walk(const std::string& path, LastLink lastLink, bool folder)
        : m_path(path), m_lastLink(lastLink), m_folder(folder) {}

    TrustedFile Run() {
        if (m_path.empty() || m_path.front() != '/') {
            Fail(EINVAL, "\"" + Printable(m_path) + "\" is not an absolute path");
            return std::move(m_result);
        }
        if (!EnterRoot())
            return std::move(m_result);
        m_pending = Names(m_path);
        while (!m_pending.empty()) {
            std::string name = std::move(m_pending.front());
            m_pending.pop_front();
            if (!Step(std::move(name)))
                return std::move(m_result);
        }
        if (!m_result.m_fd && !OpenLastFolder())
            return std::move(m_result);
        m_result.m_canonical = Join(m_names);
        return std::move(m_result);
    }

  private:
    bool Fail(int error, std::string reason) {
        m_result.m_fd.Reset();
        m_result.m_error = error;
        m_result.m_reason = std::move(reason);
        return false;
    }

    bool FailWithErrno() {
        const int error = errno;
        return Fail(error, ErrnoText(error));
    }

    // A trust rule refused what the walk reached.
    bool Refuse(std::string why) {
        m_result.m_untrusted = why;
        return Fail(EPERM, why + "; " + TrustAdvice());
    }

    bool Check(const struct stat& st, const std::string& here, FileRole role, int fd) {
        std::string why = UntrustedBecause(st, here, role, fd);
        return why.empty() || Refuse(std::move(why));
    }

    // Starts (again, after an absolute link) from the root folder.
    bool EnterRoot() {
        m_folders.clear();
        m_names.clear();
        UniqueFd root(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat st {};
        if (!root || fstat(root.Get(), &st) != 0) {
            const int error = errno;
            return Refuse(ErrnoText(error));
        }
        m_folders.push_back(std::move(root));
        return Check(st, "/", FileRole::kFolder, m_folders.back().Get());
    }

    bool Step(std::string name) {
        if (name == ".")
            return true;
        if (name == "..") {
            if (m_folders.size() > 1) {
                m_folders.pop_back();
                m_names.pop_back();
            }
            return true;
        }
        const bool last = m_pending.empty();
        const int at = m_folders.back().Get();
        m_names.push_back(name);
        const std::string here = Join(m_names);
        struct stat st {};
        if (fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return FailWithErrno();
        if (S_ISLNK(st.st_mode))
            return FollowLink(at, name, st, here, last);
        if (!last || m_folder)
            return EnterFolder(at, name, st, here, last);
        return OpenFile(at, name, st, here);
    }

    // Puts the link's target in place of its name; an absolute target starts at the root.
    bool FollowLink(int at, const std::string& name, const struct stat& st, const std::string& here,
                    bool last) {
        if (last && m_lastLink == LastLink::kRefuse && !m_folder)
            return Fail(ELOOP,
                        Printable(here) + " is a symbolic link; name the file itself instead");
        if (++m_links > kMaxLinks)
            return Fail(ELOOP, ErrnoText(ELOOP));
        if (!Check(st, here, FileRole::kLink, -1))
            return false;
        char target[PATH_MAX];
        const ssize_t n = readlinkat(at, name.c_str(), target, sizeof target - 1);
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOENT;
            return Fail(error, ErrnoText(error));
        }
        m_names.pop_back();
        const std::string text(target, static_cast<std::size_t>(n));
        const std::deque<std::string> more = Names(text);
        m_pending.insert(m_pending.begin(), more.begin(), more.end());
        return text.front() != '/' || EnterRoot();
    }

    bool EnterFolder(int at, const std::string& name, struct stat st, const std::string& here,
                     bool last) {
        if (!S_ISDIR(st.st_mode))
            return Fail(ENOTDIR, Printable(here) + " is " + Kind(st.st_mode) + ", not a folder");
        const int flags = last ? O_RDONLY : O_PATH;
        UniqueFd next(openat(at, name.c_str(), flags | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next || fstat(next.Get(), &st) != 0)
            return FailWithErrno();
        if (!Check(st, here, FileRole::kFolder, next.Get()))
            return false;
        m_folders.push_back(std::move(next));
        if (last) {
            m_result.m_status = st;
            m_result.m_fd = std::move(m_folders.back());
        }
        return true;
    }

    bool OpenFile(int at, const std::string& name, struct stat st, const std::string& here) {
        // Checked before opening too: opening a device can have effects of its own.
        if (!S_ISREG(st.st_mode))
            return Fail(EINVAL, "it is " + Kind(st.st_mode) + ", not a regular file");
        UniqueFd file(
            openat(at, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!file || fstat(file.Get(), &st) != 0)
            return FailWithErrno();
        if (!S_ISREG(st.st_mode))
            return Fail(EINVAL, "it is " + Kind(st.st_mode) + ", not a regular file");
        if (!Check(st, here, FileRole::kFile, file.Get()))
            return false;
        m_result.m_status = st;
        m_result.m_fd = std::move(file);
        return true;
    }

    // The path named the root itself, or ended in "..": the folder the walk stands in.
    bool OpenLastFolder() {
        if (!m_folder)
            return Fail(EISDIR, "it is a folder, not a regular file");
        UniqueFd dir(openat(m_folders.back().Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dir || fstat(dir.Get(), &m_result.m_status) != 0)
            return FailWithErrno();
        m_result.m_fd = std::move(dir);
        return true;
    }

    const std::string& m_path;
    const LastLink m_lastLink;
    const bool m_folder;
    TrustedFile m_result;
    // The folders walked so far, each open and checked; the last one is the current folder.
    std::vector<UniqueFd> m_folders;
    std::vector<std::string> m_names;
    std::deque<std::string> m_pending;
    int m_links = 0;
};

TrustedFile TrustedFile::Open(const std::string& path, LastLink lastLink) {
    return Walk(path, lastLink, false).Run();
}

TrustedFile TrustedFile::OpenFolder(const std::string& path) {
    return Walk(path, LastLink::kFollow, true).Run();
}

}  // namespace posix
