#include "web/Token.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/component/TextFile.h"
#include "platform/posix/SystemError.h"
#include "platform/posix/TrustedFile.h"

namespace web {
namespace {

constexpr std::size_t kShortest = 16;
constexpr std::size_t kLongest = 4096;

}  // namespace

std::optional<std::string> ReadToken(const std::string& path, std::string* error) {
    std::error_code ec;
    const std::string absolute = std::filesystem::absolute(path, ec).string();
    const posix::TrustedFile file =
        posix::TrustedFile::Open(absolute, posix::TrustedFile::LastLink::kRefuse);
    if (ec || !file) {
        *error = "cannot use the token file " + path + ": " + (ec ? ec.message() : file.Reason());
        return std::nullopt;
    }
    if ((file.Status().st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        *error = "the token file " + path + " may be read by others: make it mode 0600";
        return std::nullopt;
    }
    std::string text;
    if (const int e = component::ReadAll(file.Fd(), &text, kLongest + 2); e != 0) {
        *error = "cannot read the token file " + path + ": " + posix::ErrnoText(e);
        return std::nullopt;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const bool visible =
        std::all_of(text.begin(), text.end(), [](unsigned char c) { return c > 0x20 && c < 0x7F; });
    if (text.size() < kShortest || text.size() > kLongest || !visible) {
        *error =
            "the token file " + path + " must hold one line of 16 to 4096 visible ASCII characters";
        return std::nullopt;
    }
    return text;
}

bool SameToken(const std::string& expected, const std::string& given) {
    unsigned difference = expected.size() == given.size() ? 0 : 1;
    for (std::size_t i = 0; i < expected.size(); ++i)
        difference |= static_cast<unsigned char>(expected[i]) ^
                      static_cast<unsigned char>(i < given.size() ? given[i] : 0);
    return difference == 0;
}

}  // namespace web
