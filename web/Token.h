#pragma once

// The bearer token that lets a client send keys, read from a file no other user can have
// written or can read.

#include <string>

#include "platform/posix/Result.h"

namespace web {

// One line of 16 to 4096 visible characters; an error when the file fails the trust rules,
// others may read it, or it holds anything else.
posix::Result<std::string> ReadToken(const std::string& path);

// Compares in a time that does not depend on where the two differ.
bool SameToken(const std::string& expected, const std::string& given);

}  // namespace web
