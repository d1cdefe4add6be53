#include "mqtt/Secrets.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/posix/Printable.h"
#include "platform/posix/SystemError.h"
#include "platform/posix/TrustedFile.h"

namespace mqtt {
namespace {

constexpr std::size_t kLongestPassword = 4096;

// A path as the user gave it, made absolute against the working folder.
std::string Absolute(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

}  // namespace

std::optional<std::string> ReadPassword(const std::string& path, std::string* error,
                                        std::string* warning) {
    const std::string shown = posix::Printable(path);
    posix::TrustedFile file =
        posix::TrustedFile::Open(Absolute(path), posix::TrustedFile::LastLink::kRefuse);
    if (!file) {
        const std::string& why = file.Untrusted().empty() ? file.Reason() : file.Untrusted();
        *error = "cannot read the password file " + shown + ": " + why;
        return std::nullopt;
    }
    std::string text(kLongestPassword + 2, '\0');
    std::size_t length = 0;
    while (length < text.size()) {
        const ssize_t n = ::read(file.Fd(), text.data() + length, text.size() - length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = "cannot read the password file " + shown + ": " + posix::ErrnoText(errno);
            return std::nullopt;
        }
        if (n == 0)
            break;
        length += static_cast<std::size_t>(n);
    }
    text.resize(length);
    text.resize(std::min(text.find('\n'), text.size()));
    if (text.ends_with('\r'))
        text.pop_back();
    const auto refuse = [&](const std::string& why) {
        *error = "the password file " + shown + " " + why;
        return std::nullopt;
    };
    if (text.empty())
        return refuse("has an empty first line: the password is the first line");
    if (text.size() > kLongestPassword)
        return refuse("has a first line longer than 4096 bytes");
    if (text.find('\0') != std::string::npos)
        return refuse("holds a NUL byte in its first line, which no password can hold");
    // A group may be given the file on purpose (and a credential's ACL shows as group bits).
    if (file.Status().st_mode & S_IRWXO) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o",
                      static_cast<unsigned>(file.Status().st_mode & 07777));
        *warning = "mqtt: the password file " + shown + " may be read by other users (mode " +
                   mode + "): chmod o= it";
    }
    return text;
}

std::optional<std::string> UnreadableFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return posix::ErrnoText(errno);
    if (!S_ISREG(st.st_mode))
        return std::string("it is not a regular file");
    if (::access(path.c_str(), R_OK) != 0)
        return posix::ErrnoText(errno);
    return std::nullopt;
}

}  // namespace mqtt
