#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace component {

// Reads the whole file at `path` into `text`. Returns 0 or the errno value of the failure
// (EFBIG when the file is longer than `limit` bytes).
int ReadTextFile(const std::string& path, std::string* text, std::size_t limit = 1 << 20);

// Splits `text` at line ends ("\n", with an optional "\r" before it).
std::vector<std::string_view> SplitLines(std::string_view text);

// `text` without leading and trailing blanks (spaces, tabs).
std::string_view TrimBlanks(std::string_view text);

// The directory part of an absolute path ("/" for a file in the root).
std::string DirectoryOf(const std::string& path);

}  // namespace component
