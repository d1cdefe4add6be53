#pragma once

#include <string>

namespace component {

// One loaded shared library. Owns its handle; the library itself stays resident after the
// handle is closed, because Qt keeps pointers into a library's meta-objects and resources.
class Library {
  public:
    // Opens `canonicalPath`, which must be absolute and canonical. On failure returns an empty
    // library and sets `error` to the loader's text.
    static Library Open(const std::string& canonicalPath, std::string* error);

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
    std::string m_path;
};

}  // namespace component
