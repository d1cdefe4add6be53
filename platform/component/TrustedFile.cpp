#include "platform/component/TrustedFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <vector>

#include "platform/component/ErrorText.h"
#include "platform/component/FileTrust.h"

namespace component {

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

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO (named pipe)";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISLNK(mode))
        return "a symbolic link";
    return "not a regular file";
}

}  // namespace

TrustedFile TrustedFile::Open(const std::string& path, LastLink lastLink) {
    return Walk(path, lastLink, false);
}

TrustedFile TrustedFile::OpenFolder(const std::string& path) {
    return Walk(path, LastLink::kFollow, true);
}

TrustedFile TrustedFile::Walk(const std::string& path, LastLink lastLink, bool folder) {
    TrustedFile result;
    auto fail = [&](int error, std::string reason) {
        result.m_fd.Reset();
        result.m_error = error;
        result.m_reason = std::move(reason);
        return std::move(result);
    };
    auto refuse = [&](std::string why) { return fail(EPERM, why + "; " + TrustAdvice()); };
    if (path.empty() || path.front() != '/')
        return fail(EINVAL, "\"" + Printable(path) + "\" is not an absolute path");

    // The folders walked so far, each open and checked; the last one is the current folder.
    std::vector<posix::UniqueFd> folders;
    std::vector<std::string> names;
    auto enterRoot = [&]() -> std::string {
        folders.clear();
        names.clear();
        posix::UniqueFd root(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat st {};
        if (!root || fstat(root.Get(), &st) != 0)
            return SystemErrorText(errno);
        folders.push_back(std::move(root));
        return UntrustedBecause(st, "/", FileRole::kFolder, folders.back().Get());
    };
    if (std::string why = enterRoot(); !why.empty())
        return refuse(why);

    std::deque<std::string> pending = Names(path);
    int links = 0;
    while (!pending.empty()) {
        const std::string name = std::move(pending.front());
        pending.pop_front();
        if (name == ".")
            continue;
        if (name == "..") {
            if (folders.size() > 1) {
                folders.pop_back();
                names.pop_back();
            }
            continue;
        }
        const bool last = pending.empty();
        const int at = folders.back().Get();
        names.push_back(name);
        const std::string here = Join(names);
        struct stat st {};
        if (fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return fail(errno, SystemErrorText(errno));

        if (S_ISLNK(st.st_mode)) {
            if (last && lastLink == LastLink::kRefuse && !folder)
                return fail(ELOOP,
                            Printable(here) + " is a symbolic link; name the file itself instead");
            if (++links > kMaxLinks)
                return fail(ELOOP, SystemErrorText(ELOOP));
            if (std::string why = UntrustedBecause(st, here, FileRole::kLink, -1); !why.empty())
                return refuse(why);
            char target[PATH_MAX];
            const ssize_t n = readlinkat(at, name.c_str(), target, sizeof target - 1);
            if (n <= 0)
                return fail(n < 0 ? errno : ENOENT, SystemErrorText(n < 0 ? errno : ENOENT));
            names.pop_back();
            const std::string text(target, static_cast<std::size_t>(n));
            std::deque<std::string> more = Names(text);
            pending.insert(pending.begin(), more.begin(), more.end());
            if (text.front() == '/') {
                if (std::string why = enterRoot(); !why.empty())
                    return refuse(why);
            }
            continue;
        }

        if (!last || folder) {
            if (!S_ISDIR(st.st_mode))
                return fail(ENOTDIR,
                            Printable(here) + " is " + KindOf(st.st_mode) + ", not a folder");
            const int flags = last ? O_RDONLY : O_PATH;
            posix::UniqueFd next(
                openat(at, name.c_str(), flags | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!next || fstat(next.Get(), &st) != 0)
                return fail(errno, SystemErrorText(errno));
            if (std::string why = UntrustedBecause(st, here, FileRole::kFolder, next.Get());
                !why.empty())
                return refuse(why);
            folders.push_back(std::move(next));
            if (last) {
                result.m_status = st;
                result.m_fd = std::move(folders.back());
            }
            continue;
        }

        // Checked before opening too: opening a device can have effects of its own.
        if (!S_ISREG(st.st_mode))
            return fail(EINVAL,
                        "it is " + std::string(KindOf(st.st_mode)) + ", not a regular file");
        posix::UniqueFd file(
            openat(at, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!file || fstat(file.Get(), &st) != 0)
            return fail(errno, SystemErrorText(errno));
        if (!S_ISREG(st.st_mode))
            return fail(EINVAL,
                        "it is " + std::string(KindOf(st.st_mode)) + ", not a regular file");
        if (std::string why = UntrustedBecause(st, here, FileRole::kFile, file.Get()); !why.empty())
            return refuse(why);
        result.m_status = st;
        result.m_fd = std::move(file);
    }
    if (!result.m_fd) {
        // The path named the root itself, or ended in "..".
        if (!folder)
            return fail(EISDIR, "it is a folder, not a regular file");
        posix::UniqueFd dir(openat(folders.back().Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dir || fstat(dir.Get(), &result.m_status) != 0)
            return fail(errno, SystemErrorText(errno));
        result.m_fd = std::move(dir);
    }
    result.m_canonical = Join(names);
    return result;
}

}  // namespace component
