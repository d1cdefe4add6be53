#pragma once

#include <cstddef>
#include <string>

#include "platform/posix/Result.h"

namespace posix {

// The rest of the file open at `fd`; an error with EFBIG when it holds more than `limit` bytes.
Result<std::string> ReadAll(int fd, std::size_t limit);

}  // namespace posix
