#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace component {

// Splits `text` at line ends ("\n", with an optional "\r" before it).
// Reads the regular file at absolute `path` whole, if it passes the trust rules
// (platform/posix/TrustedFile.h; it may not be a symbolic link). Returns 0, or an errno value with
// the reason in `reason`: ENOENT when it does not exist, EFBIG when it holds more than `limit`
// bytes.
int ReadTrustedText(const std::string& path, std::size_t limit, std::string* text,
                    std::string* reason);

std::vector<std::string_view> SplitLines(std::string_view text);

// `text` without leading and trailing blanks (spaces, tabs).
std::string_view TrimBlanks(std::string_view text);

// The directory part of an absolute path ("/" for a file in the root).
std::string DirectoryOf(const std::string& path);

}  // namespace component
