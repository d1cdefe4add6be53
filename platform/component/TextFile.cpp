#include "platform/component/TextFile.h"

#include <cerrno>
#include <cstdint>
#include <utility>

#include "platform/component/ErrorText.h"
#include "platform/posix/ReadAll.h"
#include "platform/posix/SystemError.h"
#include "platform/posix/TrustedFile.h"

namespace component {

int ReadTrustedText(const std::string& path, std::size_t limit, std::string* text,
                    std::string* reason) {
    text->clear();
    posix::TrustedFile file = posix::TrustedFile::Open(path, posix::TrustedFile::LastLink::kRefuse);
    if (!file) {
        *reason = file.Reason();
        return file.Error();
    }
    const std::string limitText =
        "more than the " + std::to_string(limit) + " bytes that such a file may hold";
    if (static_cast<std::uint64_t>(file.Status().st_size) > limit) {
        *reason = "it holds " + std::to_string(file.Status().st_size) + " bytes, " + limitText;
        return EFBIG;
    }
    posix::Result<std::string> read = posix::ReadAll(file.Fd(), limit);
    if (!read) {
        const int e = read.Error().code;
        *reason = e == EFBIG ? "it holds " + limitText : read.Error().text;
        return e;
    }
    *text = std::move(read).Value();
    return 0;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string_view TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

}  // namespace component
