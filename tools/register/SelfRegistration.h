#pragma once

#include <iosfwd>
#include <string>

namespace lumeq_register {

enum class Direction { Register, Unregister };

// Exit statuses of the tool.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitServerFailed = 1;  // the library's own export reported a failure
inline constexpr int kExitCannotRun = 2;     // bad arguments, library or store unusable

// `path` made absolute against the current directory when relative.
std::string AbsolutePath(const std::string& path);
// Whether anything exists at `path` (a dangling link counts as nothing).
bool LibraryExists(const std::string& path);

// Loads `library` (made absolute against the current directory when relative), calls its
// DllRegisterServer or DllUnregisterServer, and reports the outcome on `out` (failures on
// `err`). Returns the tool's exit status.
int RunSelfRegistration(const std::string& library, Direction direction, std::ostream& out,
                        std::ostream& err);

}  // namespace lumeq_register
