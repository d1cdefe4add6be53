#include "web/Token.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "platform/posix/ReadAll.h"
#include "platform/posix/SystemError.h"
#include "platform/posix/TrustedFile.h"

namespace web {
namespace {

constexpr std::size_t kShortest = 16;
constexpr std::size_t kLongest = 4096;

}  // namespace

posix::Result<std::string> ReadToken(const std::string& path) {
    const auto refuse = [](std::string why) { return posix::SystemError::Because(std::move(why)); };
    std::error_code ec;
    const std::string absolute = std::filesystem::absolute(path, ec).string();
    const posix::TrustedFile file =
        posix::TrustedFile::Open(absolute, posix::TrustedFile::LastLink::kRefuse);
    if (!ec && !file && !file.Untrusted().empty())
        return refuse("cannot use the token file " + path + ": " + file.Untrusted() +
                      "; the token decides who may press the scale's keys, so it is used only "
                      "when it and every folder above it belong to you or root and no one else "
                      "can write them");
    if (ec || !file)
        return refuse("cannot use the token file " + path + ": " +
                      (ec ? ec.message() : file.Reason()));
    if ((file.Status().st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return refuse("the token file " + path + " may be read by others: make it mode 0600");
    posix::Result<std::string> read = posix::ReadAll(file.Fd(), kLongest + 2);
    if (!read)
        return refuse("cannot read the token file " + path + ": " + read.Error().text);
    std::string text = std::move(read).Value();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const bool visible =
        std::all_of(text.begin(), text.end(), [](unsigned char c) { return c > 0x20 && c < 0x7F; });
    if (text.size() < kShortest || text.size() > kLongest || !visible)
        return refuse("the token file " + path +
                      " must hold one line of 16 to 4096 visible ASCII characters");
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
