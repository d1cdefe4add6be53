#pragma once

// What a broker login reads from files: the password file and the certificate authority, said
// in words before the client library is given them. Shared by every client that logs in (the
// publisher, the board).
//
// Thread: any.

#include <optional>
#include <string>

namespace mqtt {

// The first line of the password file, opened as other secrets are (no link followed, no FIFO
// or device opened, no folder on the way that others may write). Nullopt, with `error` set, when
// it cannot be used; `warning` is set when it can but should not be readable by others.
std::optional<std::string> ReadPassword(const std::string& path, std::string* error,
                                        std::string* warning);

// Why `path` cannot be read as a file, in words; nullopt when it can. The client library says
// only "invalid function arguments".
std::optional<std::string> UnreadableFile(const std::string& path);

}  // namespace mqtt
