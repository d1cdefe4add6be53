#pragma once

// The bearer token that lets a client send keys, read from a file no other user can have
// written or can read.

#include <optional>
#include <string>

namespace web {

// One line of 16 to 4096 visible characters. Nullopt, with the reason in `error`, when the file
// fails the trust rules, others may read it, or it holds anything else.
std::optional<std::string> ReadToken(const std::string& path, std::string* error);

// Compares in a time that does not depend on where the two differ.
bool SameToken(const std::string& expected, const std::string& given);

}  // namespace web
