#include "Library.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "UniqueFd.h"

namespace component {

namespace {

bool ReadAt(int fd, void* buffer, std::size_t size, off_t offset) {
    return ::pread(fd, buffer, size, offset) == static_cast<ssize_t>(size);
}

// The loader maps a library's segments as its program headers describe them, and a file that is
// shorter (an interrupted copy) makes the process die of SIGBUS when the missing part is touched.
// Returns an empty string when every loadable segment lies within the file, else why not. Files
// that are no library of this machine's kind pass: the loader refuses them with its own reason.
std::string MissingSegments(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    ElfW(Ehdr) header{};
    if (!fd || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        !ReadAt(fd.Get(), &header, sizeof header, 0) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) ||
        header.e_phentsize != sizeof(ElfW(Phdr)))
        return {};
    const auto size = static_cast<unsigned long long>(st.st_size);
    auto cutOff = [&](unsigned long long needed) {
        return "the file is cut off: it has " + std::to_string(size) +
               " bytes, but its program headers need " + std::to_string(needed);
    };
    const unsigned long long headersEnd =
        header.e_phoff + static_cast<unsigned long long>(header.e_phnum) * sizeof(ElfW(Phdr));
    if (headersEnd > size)
        return cutOff(headersEnd);
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        ElfW(Phdr) segment{};
        if (!ReadAt(fd.Get(), &segment, sizeof segment,
                    static_cast<off_t>(header.e_phoff + i * sizeof segment)))
            return cutOff(headersEnd);
        const unsigned long long end =
            static_cast<unsigned long long>(segment.p_offset) + segment.p_filesz;
        if (segment.p_type == PT_LOAD && end > size)
            return cutOff(end);
    }
    return {};
}

}  // namespace

Library Library::Open(const std::string& canonicalPath, std::string* error) {
    Library library;
    if (canonicalPath.empty() || canonicalPath.front() != '/') {
        *error = "\"" + canonicalPath + "\" is not an absolute path";
        return library;
    }
    if (std::string missing = MissingSegments(canonicalPath); !missing.empty()) {
        *error = std::move(missing);
        return library;
    }
    dlerror();
    library.m_handle = dlopen(canonicalPath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library.m_handle) {
        const char* text = dlerror();
        *error = text ? text : "the loader gave no reason";
        return library;
    }
    library.m_path = canonicalPath;
    return library;
}

Library::Library(Library&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_path(std::move(other.m_path)) {}

Library& Library::operator=(Library&& other) noexcept {
    if (this != &other) {
        std::swap(m_handle, other.m_handle);
        std::swap(m_path, other.m_path);
    }
    return *this;
}

Library::~Library() {
    if (m_handle)
        dlclose(m_handle);
}

void* Library::Export(const char* name) const {
    if (!m_handle)
        return nullptr;
    return dlsym(m_handle, name);
}

}  // namespace component
