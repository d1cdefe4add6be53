#pragma once

#include <string>

#include "platform/posix/TrustedFile.h"
#include "platform/posix/UniqueFd.h"

namespace component {

// One loaded shared library. Owns its handle; the library itself stays resident after the
// handle is closed, because Qt keeps pointers into a library's meta-objects and resources.
class Library {
  public:
    // Loads the library from the descriptor of `file` (opened and checked by TrustedFile), so
    // that the file loaded is the file checked. The loader knows it by the descriptor's name
    // in /proc/self/fd, which is why the descriptor stays open while the library is resident.
    // On failure returns an empty library and sets `error` to the reason.
    static Library Open(posix::TrustedFile file, std::string* error);

    Library() = default;
    Library(Library&& other) noexcept;
    Library& operator=(Library&& other) noexcept;
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library();

    explicit operator bool() const { return m_handle != nullptr; }
    const std::string& Path() const { return m_path; }
    // The address of the exported symbol `name`, or null.
    void* Export(const char* name) const;

  private:
    void* m_handle = nullptr;
    std::string m_path;  // canonical
    posix::UniqueFd m_file;
};

}  // namespace component
